#include "forms/std_controls.h"

#include "forms/actions.h"
#include "forms/class_record.h"
#include "forms/form.h"
#include "publish.h"

using forms::detail::PublishCaption;
using forms::detail::PublishColor;

const TEnumInfo& AlignmentInfo() {
  static const TEnumInfo info{"TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}};
  return info;
}

namespace {
const TEnumInfo& ScrollStyleInfo() {
  static const TEnumInfo info{"TScrollStyle", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"}};
  return info;
}
}  // namespace

// ---------------------------------------------------------------------------------------------

const TClassRecord& TCustomLabel::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TCustomLabel, TGraphicControl>(
      "TCustomLabel", [](TClassBuilder<TCustomLabel>& c) {
        c.Enum("Alignment", &TCustomLabel::Alignment, &TCustomLabel::SetAlignment, AlignmentInfo())
            .Default(taLeftJustify);
        c.Bool("AutoSize", &TCustomLabel::AutoSize, &TCustomLabel::SetAutoSize).Default(1);
        PublishCaption(c);
        c.Bool("ParentColor", &TCustomLabel::ParentColor, &TCustomLabel::SetParentColor).Default(1);
        c.Bool("Transparent", &TCustomLabel::Transparent, &TCustomLabel::SetTransparent).Default(0);
        c.Bool("WordWrap", &TCustomLabel::WordWrap, &TCustomLabel::SetWordWrap).Default(0);
      });
  return record;
}

TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 65, 17);
  SetParentColor(true);
}

void TCustomLabel::SetAlignment(TAlignment alignment) {
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  Changed(TWidgetChange::wcOptions);
}

void TCustomLabel::SetAutoSize(bool autoSize) {
  FAutoSize = autoSize;
}

void TCustomLabel::SetTransparent(bool transparent) {
  if (transparent == FTransparent) return;
  FTransparent = transparent;
  Changed(TWidgetChange::wcColor);
}

void TCustomLabel::SetWordWrap(bool wordWrap) {
  if (wordWrap == FWordWrap) return;
  FWordWrap = wordWrap;
  Changed(TWidgetChange::wcOptions);
}

const TClassRecord& TLabel::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TLabel, TCustomLabel>("TLabel", [](TClassBuilder<TLabel>&) {});
  return record;
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TButtonControl::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TButtonControl, TWinControl>(
      "TButtonControl", [](TClassBuilder<TButtonControl>& c) {
        c.Component("Action", &TButtonControl::Action, &TButtonControl::SetAction);
      });
  return record;
}

TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) {
  SetTabStop(true);
}

const TClassRecord& TButton::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TButton, TButtonControl>("TButton", [](TClassBuilder<TButton>& c) {
        c.Bool("Cancel", &TButton::Cancel, &TButton::SetCancel).Default(0);
        PublishCaption(c);
        c.Bool("Default", &TButton::Default, &TButton::SetDefault).Default(0);
        c.Int("ModalResult", &TButton::ModalResult, &TButton::SetModalResult).Default(0);
        c.Bool("TabStop", &TButton::TabStop, &TButton::SetTabStop).Default(1);
      });
  return record;
}

TButton::TButton(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 75, 25);
}

void TButton::SetDefault(bool value) {
  if (value == FDefault) return;
  FDefault = value;
  Changed(TWidgetChange::wcOptions);
}

void TButton::Click() {
  if (FModalResult != 0)
    if (TCustomForm* form = ParentForm()) form->SetModalResult(FModalResult);
  TButtonControl::Click();
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TCheckBox::StaticClass() {
  static const TEnumInfo states{"TCheckBoxState", {"cbUnchecked", "cbChecked", "cbGrayed"}};
  static const TClassRecord record =
      TClassRecord::Define<TCheckBox, TButtonControl>("TCheckBox", [](TClassBuilder<TCheckBox>& c) {
        c.Enum("Alignment", &TCheckBox::Alignment, &TCheckBox::SetAlignment, AlignmentInfo())
            .Default(taRightJustify);
        c.Bool("AllowGrayed", &TCheckBox::AllowGrayed, &TCheckBox::SetAllowGrayed).Default(0);
        PublishCaption(c);
        c.Bool("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked).Default(0);
        c.Enum("State", &TCheckBox::State, &TCheckBox::SetState, states)
            .Default(cbUnchecked)
            .NotStored();
        c.Bool("TabStop", &TCheckBox::TabStop, &TCheckBox::SetTabStop).Default(1);
      });
  return record;
}

TCheckBox::TCheckBox(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::SetChecked(bool checked) {
  SetState(checked ? cbChecked : cbUnchecked);
}

void TCheckBox::SetState(TCheckBoxState state) {
  if (state == FState) return;
  FState = state;
  Changed(TWidgetChange::wcChecked);
  if (!Loading()) Click();
}

void TCheckBox::SetAlignment(TAlignment alignment) {
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  Changed(TWidgetChange::wcOptions);
}

void TCheckBox::HandleNotice(TControlNotice notice) {
  if (notice == cnToggled) {
    bool checked;
    if (WidgetSet().ReadChecked(this, checked)) SetChecked(checked);
    return;
  }
  // A click on a check box toggles it (the headless set and tests send plain clicks).
  if (notice == cnClick) {
    if (Enabled()) SetChecked(!Checked());
    return;
  }
  TButtonControl::HandleNotice(notice);
}

void TCheckBox::ActionChanged() {
  TButtonControl::ActionChanged();
  if (auto* action = dynamic_cast<TCustomAction*>(Action())) {
    FState = action->Checked() ? cbChecked : cbUnchecked;
    Changed(TWidgetChange::wcChecked);
  }
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TRadioButton::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TRadioButton, TButtonControl>(
      "TRadioButton", [](TClassBuilder<TRadioButton>& c) {
        PublishCaption(c);
        c.Bool("Checked", &TRadioButton::Checked, &TRadioButton::SetChecked).Default(0);
      });
  return record;
}

TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 113, 17);
}

void TRadioButton::SetChecked(bool checked) {
  if (checked == FChecked) return;
  FChecked = checked;
  Changed(TWidgetChange::wcChecked);
  if (!checked) return;
  if (TWinControl* parent = Parent())
    for (int i = 0; i < parent->ControlCount(); ++i)
      if (auto* other = dynamic_cast<TRadioButton*>(parent->Controls(i)); other && other != this)
        other->SetChecked(false);
  if (!Loading()) Click();
}

void TRadioButton::HandleNotice(TControlNotice notice) {
  if (notice == cnToggled) {
    bool checked;
    if (WidgetSet().ReadChecked(this, checked) && checked) SetChecked(true);
    return;
  }
  if (notice == cnClick) {
    if (Enabled()) SetChecked(true);
    return;
  }
  TButtonControl::HandleNotice(notice);
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TCustomEdit::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TCustomEdit, TWinControl>(
      "TCustomEdit", [](TClassBuilder<TCustomEdit>& c) {
        PublishColor(c, clWindow);
        c.Int("MaxLength", &TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength).Default(0);
        c.Bool("ReadOnly", &TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly).Default(0);
        c.Bool("TabStop", &TCustomEdit::TabStop, &TCustomEdit::SetTabStop).Default(1);
        c.Str("Text", &TCustomEdit::GetText, &TCustomEdit::SetText);
        c.Event("OnChange", &TCustomEdit::OnChange);
      });
  return record;
}

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 121, 21);
  SetColor(clWindow);
  SetTabStop(true);
}

void TCustomEdit::SetReadOnly(bool readOnly) {
  if (readOnly == FReadOnly) return;
  FReadOnly = readOnly;
  Changed(TWidgetChange::wcReadOnly);
}

void TCustomEdit::TextChanged() {
  TWinControl::TextChanged();
  if (!Loading()) OnChange(this);
}

void TCustomEdit::HandleNotice(TControlNotice notice) {
  if (notice == cnTextEdited) {
    std::string text;
    if (WidgetSet().ReadText(this, text)) SetText(text);
    return;
  }
  TWinControl::HandleNotice(notice);
}

const TClassRecord& TEdit::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TEdit, TCustomEdit>("TEdit", [](TClassBuilder<TEdit>&) {});
  return record;
}

const TClassRecord& TMaskEdit::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TMaskEdit, TCustomEdit>("TMaskEdit", [](TClassBuilder<TMaskEdit>& c) {
        c.Str("EditMask", &TMaskEdit::EditMask, &TMaskEdit::SetEditMask);
      });
  return record;
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TMemo::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TMemo, TWinControl>("TMemo", [](TClassBuilder<TMemo>& c) {
        c.Enum("Alignment", &TMemo::Alignment, &TMemo::SetAlignment, AlignmentInfo())
            .Default(taLeftJustify);
        PublishColor(c, clWindow);
        c.Strings("Lines", &TMemo::Lines, &TMemo::SetLines);
        c.Int("MaxLength", &TMemo::MaxLength, &TMemo::SetMaxLength).Default(0);
        c.Bool("ReadOnly", &TMemo::ReadOnly, &TMemo::SetReadOnly).Default(0);
        c.Enum("ScrollBars", &TMemo::ScrollBars, &TMemo::SetScrollBars, ScrollStyleInfo())
            .Default(ssNone);
        c.Bool("TabStop", &TMemo::TabStop, &TMemo::SetTabStop).Default(1);
        c.Bool("WordWrap", &TMemo::WordWrap, &TMemo::SetWordWrap).Default(1);
        c.Event("OnChange", &TMemo::OnChange);
      });
  return record;
}

TMemo::TMemo(TComponent* owner) : TWinControl(owner), FLines(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 185, 89);
  SetColor(clWindow);
  SetTabStop(true);
  FLines->SetObserver([this] {
    if (!FFromWidget) Changed(TWidgetChange::wcItems);
    if (!Loading()) OnChange(this);
  });
}

void TMemo::SetLines(TStrings* lines) {
  FLines->Assign(lines);
}

std::string TMemo::Text() const {
  std::string text;
  for (int i = 0; i < FLines->Count(); ++i) {
    if (i) text += "\r\n";
    text += FLines->Get(i);
  }
  return text;
}

void TMemo::SetTextValue(const std::string& text) {
  FLines->SetText(text);
}

void TMemo::SetReadOnly(bool readOnly) {
  if (readOnly == FReadOnly) return;
  FReadOnly = readOnly;
  Changed(TWidgetChange::wcReadOnly);
}

void TMemo::SetWordWrap(bool wordWrap) {
  if (wordWrap == FWordWrap) return;
  FWordWrap = wordWrap;
  Changed(TWidgetChange::wcOptions);
}

void TMemo::SetScrollBars(TScrollStyle style) {
  if (style == FScrollBars) return;
  FScrollBars = style;
  Changed(TWidgetChange::wcOptions);
}

void TMemo::SetAlignment(TAlignment alignment) {
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  Changed(TWidgetChange::wcOptions);
}

void TMemo::HandleNotice(TControlNotice notice) {
  if (notice == cnTextEdited) {
    std::string text;
    if (!WidgetSet().ReadText(this, text) || text == Text()) return;
    // The widget already shows this text: it is not sent back to it.
    FFromWidget = true;
    try {
      SetTextValue(text);
    } catch (...) {
      FFromWidget = false;
      throw;
    }
    FFromWidget = false;
    return;
  }
  TWinControl::HandleNotice(notice);
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TCustomListBox::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TCustomListBox, TWinControl>(
      "TCustomListBox", [](TClassBuilder<TCustomListBox>& c) {
        PublishColor(c, clWindow);
        c.Int("ItemHeight", &TCustomListBox::ItemHeight, &TCustomListBox::SetItemHeight)
            .Default(16);
        c.Int("ItemIndex", &TCustomListBox::ItemIndex, &TCustomListBox::SetItemIndex)
            .Default(-1)
            .NotStored();
        c.Strings("Items", &TCustomListBox::Items, &TCustomListBox::SetItems);
        c.Bool("Sorted", &TCustomListBox::Sorted, &TCustomListBox::SetSorted).Default(0);
        c.Bool("TabStop", &TCustomListBox::TabStop, &TCustomListBox::SetTabStop).Default(1);
      });
  return record;
}

TCustomListBox::TCustomListBox(TComponent* owner)
    : TWinControl(owner), FItems(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 121, 97);
  SetColor(clWindow);
  SetTabStop(true);
  FItems->SetObserver([this] {
    if (FItemIndex >= FItems->Count()) FItemIndex = -1;
    Changed(TWidgetChange::wcItems);
  });
}

void TCustomListBox::SetItems(TStrings* items) {
  FItems->Assign(items);
}

void TCustomListBox::SetItemIndex(int index) {
  if (index < -1 || index >= FItems->Count()) index = -1;
  if (index == FItemIndex) return;
  FItemIndex = index;
  Changed(TWidgetChange::wcItemIndex);
}

void TCustomListBox::SetItemHeight(int height) {
  if (height <= 0 || height == FItemHeight) return;
  FItemHeight = height;
  Changed(TWidgetChange::wcOptions);
}

void TCustomListBox::SetSorted(bool sorted) {
  FItems->SetSorted(sorted);
}

void TCustomListBox::HandleNotice(TControlNotice notice) {
  if (notice == cnSelected) {
    int index;
    if (WidgetSet().ReadItemIndex(this, index) && index != FItemIndex) {
      FItemIndex = index < FItems->Count() ? index : -1;
      Click();
    }
    return;
  }
  TWinControl::HandleNotice(notice);
}

const TClassRecord& TListBox::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TListBox, TCustomListBox>("TListBox", [](TClassBuilder<TListBox>&) {});
  return record;
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TCustomComboBox::StaticClass() {
  static const TEnumInfo styles{
      "TComboBoxStyle",
      {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable"}};
  static const TClassRecord record = TClassRecord::Define<TCustomComboBox, TWinControl>(
      "TCustomComboBox", [](TClassBuilder<TCustomComboBox>& c) {
        PublishColor(c, clWindow);
        c.Int("DropDownCount", &TCustomComboBox::DropDownCount, &TCustomComboBox::SetDropDownCount)
            .Default(8);
        c.Int("ItemIndex", &TCustomComboBox::ItemIndex, &TCustomComboBox::SetItemIndex).Default(-1);
        c.Strings("Items", &TCustomComboBox::Items, &TCustomComboBox::SetItems);
        c.Bool("Sorted", &TCustomComboBox::Sorted, &TCustomComboBox::SetSorted).Default(0);
        c.Enum("Style", &TCustomComboBox::Style, &TCustomComboBox::SetStyle, styles)
            .Default(csDropDown);
        c.Bool("TabStop", &TCustomComboBox::TabStop, &TCustomComboBox::SetTabStop).Default(1);
        c.Str("Text", &TCustomComboBox::GetText, &TCustomComboBox::SetText);
        c.Event("OnChange", &TCustomComboBox::OnChange);
      });
  return record;
}

TCustomComboBox::TCustomComboBox(TComponent* owner)
    : TWinControl(owner), FItems(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 145, 21);
  SetColor(clWindow);
  SetTabStop(true);
  FItems->SetObserver([this] {
    if (FItemIndex >= FItems->Count()) FItemIndex = -1;
    Changed(TWidgetChange::wcItems);
  });
}

void TCustomComboBox::SetItems(TStrings* items) {
  FItems->Assign(items);
}

void TCustomComboBox::SetItemIndex(int index) {
  // While loading the items may come later in the description: the index is kept as given.
  if (!Loading() && (index < -1 || index >= FItems->Count())) index = -1;
  FItemIndex = index;
  if (index >= 0 && index < FItems->Count()) SetText(FItems->Get(index));
  Changed(TWidgetChange::wcItemIndex);
}

void TCustomComboBox::SetStyle(TComboBoxStyle style) {
  if (style == FStyle) return;
  FStyle = style;
  Changed(TWidgetChange::wcOptions);
}

void TCustomComboBox::HandleNotice(TControlNotice notice) {
  if (notice == cnSelected) {
    int index;
    if (WidgetSet().ReadItemIndex(this, index) && index != FItemIndex) {
      SetItemIndex(index);
      OnChange(this);
      Click();
    }
    return;
  }
  if (notice == cnTextEdited) {
    std::string text;
    if (WidgetSet().ReadText(this, text) && text != GetText()) {
      SetText(text);
      OnChange(this);
    }
    return;
  }
  TWinControl::HandleNotice(notice);
}

const TClassRecord& TComboBox::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TComboBox, TCustomComboBox>(
      "TComboBox", [](TClassBuilder<TComboBox>&) {});
  return record;
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TGroupBox::StaticClass() {
  static const TClassRecord record = TClassRecord::Define<TGroupBox, TWinControl>(
      "TGroupBox", [](TClassBuilder<TGroupBox>& c) { PublishCaption(c); });
  return record;
}

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 105);
}
