// The standard controls: label, button, check box, radio button, edits, memo, list box,
// combo box, group box.
#pragma once

#include <memory>
#include <string>

#include "forms/control.h"
#include "forms/strings.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
const TEnumInfo& AlignmentInfo();

class TCustomLabel : public TGraphicControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TCustomLabel(TComponent* owner);

  const std::string& Caption() const { return GetText(); }
  void SetCaption(const std::string& caption) { SetText(caption); }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool autoSize);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool transparent);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool wordWrap);

 private:
  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = true;
  bool FTransparent = false;
  bool FWordWrap = false;
};

class TLabel : public TCustomLabel {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TLabel(TComponent* owner) : TCustomLabel(owner) {}
};

class TButtonControl : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TButtonControl(TComponent* owner);
};

class TButton : public TButtonControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TButton(TComponent* owner);

  const std::string& Caption() const { return GetText(); }
  void SetCaption(const std::string& caption) { SetText(caption); }
  // Enter presses the default button, Escape the cancel button.
  bool Default() const { return FDefault; }
  void SetDefault(bool value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool value) { FCancel = value; }
  // Given to the form when the button is pressed (ends a modal form).
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int result) { FModalResult = result; }

  void Click() override;

 private:
  bool FDefault = false;
  bool FCancel = false;
  int FModalResult = 0;
};

class TCheckBox : public TButtonControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TCheckBox(TComponent* owner);

  const std::string& Caption() const { return GetText(); }
  void SetCaption(const std::string& caption) { SetText(caption); }
  bool Checked() const { return FState == cbChecked; }
  // A change of state (by the program or the user) fires OnClick, as the check box is clicked.
  void SetChecked(bool checked);
  TCheckBoxState State() const { return FState; }
  void SetState(TCheckBoxState state);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool allow) { FAllowGrayed = allow; }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment);

  void HandleNotice(TControlNotice notice) override;

 protected:
  void ActionChanged() override;

 private:
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
  TAlignment FAlignment = taRightJustify;
};

class TRadioButton : public TButtonControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TRadioButton(TComponent* owner);

  const std::string& Caption() const { return GetText(); }
  void SetCaption(const std::string& caption) { SetText(caption); }
  bool Checked() const { return FChecked; }
  // Checking one unchecks the other radio buttons of the same parent.
  void SetChecked(bool checked);

  void HandleNotice(TControlNotice notice) override;

 private:
  bool FChecked = false;
};

class TCustomEdit : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TCustomEdit(TComponent* owner);

  const std::string& Text() const { return GetText(); }
  void SetTextValue(const std::string& text) { SetText(text); }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool readOnly);
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int length) { FMaxLength = length; }
  void Clear() { SetText(""); }

  TNotifyEvent OnChange;
  void HandleNotice(TControlNotice notice) override;

 protected:
  void TextChanged() override;

 private:
  bool FReadOnly = false;
  int FMaxLength = 0;
};

class TEdit : public TCustomEdit {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TEdit(TComponent* owner) : TCustomEdit(owner) {}
};

// An edit whose input follows a mask; the mask is kept, not enforced.
class TMaskEdit : public TCustomEdit {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TMaskEdit(TComponent* owner) : TCustomEdit(owner) {}

  const std::string& EditMask() const { return FEditMask; }
  void SetEditMask(const std::string& mask) { FEditMask = mask; }

 private:
  std::string FEditMask;
};

// A multi-line text box. Its Lines are the truth; the text is the lines joined by CR LF.
class TMemo : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TMemo(TComponent* owner);

  TStrings* Lines() const { return FLines.get(); }
  void SetLines(TStrings* lines);
  // The lines joined by CR LF (no line break after the last).
  std::string Text() const;
  // Splits at CR LF, a lone CR or a lone LF.
  void SetTextValue(const std::string& text);
  void Clear() { FLines->Clear(); }

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool readOnly);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool wordWrap);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle style);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment);
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int length) { FMaxLength = length; }

  TNotifyEvent OnChange;
  void HandleNotice(TControlNotice notice) override;

 private:
  std::unique_ptr<TStringList> FLines;
  bool FReadOnly = false;
  bool FWordWrap = true;
  TScrollStyle FScrollBars = ssNone;
  TAlignment FAlignment = taLeftJustify;
  int FMaxLength = 0;
  bool FFromWidget = false;
};

class TCustomListBox : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TCustomListBox(TComponent* owner);

  TStrings* Items() const { return FItems.get(); }
  void SetItems(TStrings* items);
  // -1: nothing selected.
  int ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int index);
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int height);
  bool Sorted() const { return FItems->Sorted(); }
  void SetSorted(bool sorted);
  void Clear() { FItems->Clear(); }

  void HandleNotice(TControlNotice notice) override;

 protected:
  TStringList* ItemList() const { return FItems.get(); }

 private:
  std::unique_ptr<TStringList> FItems;
  int FItemIndex = -1;
  int FItemHeight = 16;
};

class TListBox : public TCustomListBox {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TListBox(TComponent* owner) : TCustomListBox(owner) {}
};

class TCustomComboBox : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TCustomComboBox(TComponent* owner);

  TStrings* Items() const { return FItems.get(); }
  void SetItems(TStrings* items);
  int ItemIndex() const { return FItemIndex; }
  // Selecting an item shows its text.
  void SetItemIndex(int index);
  const std::string& Text() const { return GetText(); }
  void SetTextValue(const std::string& text) { SetText(text); }
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle style);
  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int count) { FDropDownCount = count; }
  bool Sorted() const { return FItems->Sorted(); }
  void SetSorted(bool sorted) { FItems->SetSorted(sorted); }

  TNotifyEvent OnChange;
  void HandleNotice(TControlNotice notice) override;

 private:
  std::unique_ptr<TStringList> FItems;
  int FItemIndex = -1;
  TComboBoxStyle FStyle = csDropDown;
  int FDropDownCount = 8;
};

class TComboBox : public TCustomComboBox {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TComboBox(TComponent* owner) : TCustomComboBox(owner) {}
};

class TGroupBox : public TWinControl {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  explicit TGroupBox(TComponent* owner);

  const std::string& Caption() const { return GetText(); }
  void SetCaption(const std::string& caption) { SetText(caption); }
};
