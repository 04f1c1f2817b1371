// Lists: list boxes (the file list box is one, listing its folder's files) and combo boxes,
// the system's LISTBOX and COMBOBOX classes.
#include "forms/com_controls.h"
#include "forms/std_controls.h"
#include "win32_widgets.h"

namespace win32ws {

bool ListClass(TControl* control, TWidgetClass& cls) {
  if (dynamic_cast<TCustomListBox*>(control)) {
    cls.Kind = TKind::ListBox;
    cls.ClassName = L"LISTBOX";
    cls.Style = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
    cls.ExStyle = WS_EX_CLIENTEDGE;
  } else if (dynamic_cast<TCustomComboBox*>(control)) {
    cls.Kind = TKind::ComboBox;
    cls.ClassName = L"COMBOBOX";
    cls.Style = CBS_DROPDOWNLIST | WS_VSCROLL;
  } else {
    return false;
  }
  return true;
}

std::string ListText(TControl* control) {
  if (auto* memo = dynamic_cast<TMemo*>(control)) return memo->Lines()->Text();
  if (auto* list = dynamic_cast<TCustomListBox*>(control)) return list->Items()->Text();
  if (auto* combo = dynamic_cast<TCustomComboBox*>(control)) return combo->Items()->Text();
  if (auto* bar = dynamic_cast<TStatusBar*>(control)) {
    std::string text = bar->SimpleText();
    for (int i = 0; i < bar->Panels()->Count(); ++i) text += bar->Panels()->Items(i)->Text();
    return text;
  }
  return control->GetText();
}

void ApplyListItems(TControl* control, TEntry& e) {
  if (auto* list = dynamic_cast<TCustomListBox*>(control)) {
    SendMessageW(e.Wnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(e.Wnd, LB_RESETCONTENT, 0, 0);
    for (const std::string& item : list->Items()->Lines())
      SendMessageW(e.Wnd, LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(ToWide(item, e.CodePage).c_str()));
    if (list->ItemHeight() > 0) SendMessageW(e.Wnd, LB_SETITEMHEIGHT, 0, list->ItemHeight());
    SendMessageW(e.Wnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(e.Wnd, nullptr, TRUE);
  } else if (auto* combo = dynamic_cast<TCustomComboBox*>(control)) {
    SendMessageW(e.Wnd, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : combo->Items()->Lines())
      SendMessageW(e.Wnd, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(ToWide(item, e.CodePage).c_str()));
  } else {
    return;
  }
  ApplyListItemIndex(control, e);
}

void ApplyListItemIndex(TControl* control, TEntry& e) {
  if (auto* list = dynamic_cast<TCustomListBox*>(control))
    SendMessageW(e.Wnd, LB_SETCURSEL, static_cast<WPARAM>(list->ItemIndex()), 0);
  else if (auto* combo = dynamic_cast<TCustomComboBox*>(control))
    SendMessageW(e.Wnd, CB_SETCURSEL, static_cast<WPARAM>(combo->ItemIndex()), 0);
}

bool ReadListItemIndex(TControl*, TEntry& e, int& index) {
  if (e.Kind == TKind::ListBox)
    index = static_cast<int>(SendMessageW(e.Wnd, LB_GETCURSEL, 0, 0));
  else if (e.Kind == TKind::ComboBox)
    index = static_cast<int>(SendMessageW(e.Wnd, CB_GETCURSEL, 0, 0));
  else
    return false;
  if (index < 0) index = -1;
  return true;
}

}  // namespace win32ws
