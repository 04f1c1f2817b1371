#include "forms/buttons.h"

#include "forms/class_record.h"

const TClassRecord& TBitBtn::StaticClass() {
  static const TEnumInfo layouts{"TButtonLayout",
                                 {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"}};
  static const TEnumInfo kinds{"TBitBtnKind",
                               {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo",
                                "bkClose", "bkAbort", "bkRetry", "bkIgnore", "bkAll"}};
  static const TClassRecord record =
      TClassRecord::Define<TBitBtn, TButton>("TBitBtn", [](TClassBuilder<TBitBtn>& c) {
        c.Object("Glyph", &TBitBtn::Glyph, &TBitBtn::SetGlyph);
        c.Enum("Kind", &TBitBtn::Kind, &TBitBtn::SetKind, kinds).Default(bkCustom);
        c.Enum("Layout", &TBitBtn::Layout, &TBitBtn::SetLayout, layouts).Default(blGlyphLeft);
        c.Int("Margin", &TBitBtn::Margin, &TBitBtn::SetMargin).Default(-1);
        c.Int("NumGlyphs", &TBitBtn::NumGlyphs, &TBitBtn::SetNumGlyphs).Default(1);
        c.Int("Spacing", &TBitBtn::Spacing, &TBitBtn::SetSpacing).Default(4);
      });
  return record;
}

TBitBtn::TBitBtn(TComponent* owner) : TButton(owner), FGlyph(std::make_unique<TBitmap>()) {
  FGlyph->SetObserver([this] { Changed(TWidgetChange::wcPicture); });
}

void TBitBtn::SetGlyph(TBitmap* glyph) {
  FGlyph->Assign(glyph);
}

void TBitBtn::SetLayout(TButtonLayout layout) {
  if (layout == FLayout) return;
  FLayout = layout;
  Changed(TWidgetChange::wcOptions);
}

void TBitBtn::SetMargin(int margin) {
  if (margin == FMargin) return;
  FMargin = margin;
  Changed(TWidgetChange::wcOptions);
}

void TBitBtn::SetSpacing(int spacing) {
  if (spacing == FSpacing) return;
  FSpacing = spacing;
  Changed(TWidgetChange::wcOptions);
}
