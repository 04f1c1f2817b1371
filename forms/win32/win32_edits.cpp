// One-line edits and memos: the system's EDIT class, a memo with several lines.
#include "forms/std_controls.h"
#include "win32_widgets.h"

namespace win32ws {

bool EditClass(TControl* control, TWidgetClass& cls) {
  if (auto* memo = dynamic_cast<TMemo*>(control)) {
    cls.Kind = TKind::Memo;
    cls.Style = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
    // Without word wrap a line goes on to the right; with it, it breaks at the border.
    if (!memo->WordWrap()) cls.Style |= ES_AUTOHSCROLL;
    const TScrollStyle bars = memo->ScrollBars();
    if (bars == ssVertical || bars == ssBoth) cls.Style |= WS_VSCROLL;
    if (bars == ssHorizontal || bars == ssBoth) cls.Style |= WS_HSCROLL;
    if (memo->Alignment() == taCenter) cls.Style |= ES_CENTER;
    if (memo->Alignment() == taRightJustify) cls.Style |= ES_RIGHT;
  } else if (dynamic_cast<TCustomEdit*>(control)) {
    cls.Kind = TKind::Edit;
    cls.Style = ES_AUTOHSCROLL;
  } else {
    return false;
  }
  cls.ClassName = L"EDIT";
  cls.ExStyle = WS_EX_CLIENTEDGE;
  return true;
}

void ApplyEditText(TControl* control, TEntry& e) {
  std::string bytes = control->GetText();
  if (auto* memo = dynamic_cast<TMemo*>(control)) bytes = memo->Text();
  const std::wstring text = WideLines(ToWide(bytes, e.CodePage));
  if (text == WindowTextOf(e.Wnd)) return;
  SetWindowTextW(e.Wnd, text.c_str());
  if (e.Kind == TKind::Memo) {
    // The newest line in view, as a log is read.
    SendMessageW(e.Wnd, EM_SETSEL, text.size(), text.size());
    SendMessageW(e.Wnd, EM_SCROLLCARET, 0, 0);
  }
}

void ApplyEditReadOnly(TControl* control, TEntry& e) {
  bool readOnly = false;
  if (auto* memo = dynamic_cast<TMemo*>(control))
    readOnly = memo->ReadOnly();
  else if (auto* edit = dynamic_cast<TCustomEdit*>(control))
    readOnly = edit->ReadOnly();
  else
    return;
  SendMessageW(e.Wnd, EM_SETREADONLY, readOnly, 0);
}

bool ReadEditText(TControl*, TEntry& e, std::string& text) {
  if (e.Kind != TKind::Edit && e.Kind != TKind::Memo && e.Kind != TKind::ComboBox) return false;
  text = FromWide(WindowTextOf(e.Wnd), e.CodePage);
  return true;
}

}  // namespace win32ws
