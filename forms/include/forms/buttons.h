// The picture button: a button with a glyph beside (or instead of) its caption.
#pragma once

#include <memory>

#include "forms/graphics.h"
#include "forms/std_controls.h"

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TBitBtnKind {
  bkCustom,
  bkOK,
  bkCancel,
  bkHelp,
  bkYes,
  bkNo,
  bkClose,
  bkAbort,
  bkRetry,
  bkIgnore,
  bkAll
};

class TBitBtn : public TButton {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TBitBtn(TComponent* owner);

  TBitmap* Glyph() const { return FGlyph.get(); }
  void SetGlyph(TBitmap* glyph);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout layout);
  TBitBtnKind Kind() const { return FKind; }
  void SetKind(TBitBtnKind kind) { FKind = kind; }
  // -1: centred.
  int Margin() const { return FMargin; }
  void SetMargin(int margin);
  int Spacing() const { return FSpacing; }
  void SetSpacing(int spacing);
  int NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int count) { FNumGlyphs = count; }

 private:
  std::unique_ptr<TBitmap> FGlyph;
  TButtonLayout FLayout = blGlyphLeft;
  TBitBtnKind FKind = bkCustom;
  int FMargin = -1;
  int FSpacing = 4;
  int FNumGlyphs = 1;
};
