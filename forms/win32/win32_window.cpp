// The window of a form: a dialog window of the system (so that the dialog manager moves the
// focus with Tab and presses buttons with Enter and Space), the size of the form's client
// area, centred as the form asks, with the program's icon. Its dialog procedure turns what the
// controls report into notices for the model.
#include <algorithm>

#include "forms/form.h"
#include "forms/std_controls.h"
#include "win32_widgets.h"

namespace win32ws {

namespace {

DWORD FormStyle(const TCustomForm* form) {
  switch (form->BorderStyle()) {
    case bsNone:
      return WS_POPUP;
    case bsSizeable:
    case bsSizeToolWin:
      return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    case bsSingle:
      return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    default:  // a dialog: no frame to resize it by
      return WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  }
}

DWORD FormExStyle(const TCustomForm* form) {
  DWORD ex = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
  if (form->BorderStyle() == bsDialog) ex |= WS_EX_DLGMODALFRAME;
  if (form->BorderStyle() == bsToolWindow || form->BorderStyle() == bsSizeToolWin)
    ex |= WS_EX_TOOLWINDOW;
  return ex;
}

void Notice(TControl* control, TControlNotice notice) {
  TWin32WidgetSet* set = ActiveSet();
  if (!set || set->Mirroring()) return;
  PostControlNotice(control, notice);
}

void Command(HWND wnd, UINT code) {
  TWin32WidgetSet* set = ActiveSet();
  TControl* control = set ? set->ControlOfWindow(wnd) : nullptr;
  TEntry* e = control ? set->Find(control) : nullptr;
  if (!e) return;
  switch (e->Kind) {
    case TKind::Button:
    case TKind::BitBtn:
      if (code == BN_CLICKED) PostControlNotice(control, cnClick);
      break;
    case TKind::CheckBox:
    case TKind::RadioButton:
      if (code == BN_CLICKED) Notice(control, cnToggled);
      break;
    case TKind::Edit:
    case TKind::Memo:
      if (code == EN_CHANGE) Notice(control, cnTextEdited);
      break;
    case TKind::ListBox:
      if (code == LBN_SELCHANGE) Notice(control, cnSelected);
      break;
    case TKind::ComboBox:
      if (code == CBN_SELCHANGE) Notice(control, cnSelected);
      break;
    default:
      break;
  }
}

// Colours of a control's text and background.
INT_PTR ControlColor(HWND dialog, HDC dc, HWND wnd, UINT msg) {
  TWin32WidgetSet* set = ActiveSet();
  TControl* control = set ? set->ControlOfWindow(wnd) : nullptr;
  TEntry* e = control ? set->Find(control) : nullptr;
  if (!e) return FALSE;
  SetTextColor(dc, e->TextColor);
  if (e->Background) {
    LOGBRUSH brush{};
    GetObjectW(e->Background, sizeof brush, &brush);
    SetBkColor(dc, brush.lbColor);
    return reinterpret_cast<INT_PTR>(e->Background);
  }
  const bool field =
      msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX ||
      (msg == WM_CTLCOLORSTATIC && (e->Kind == TKind::Edit || e->Kind == TKind::Memo));
  if (field) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
  }
  // Labels and check boxes show the window's face behind their text.
  SetBkMode(dc, 1 /* TRANSPARENT */);
  TControl* form = set->ControlOfWindow(dialog);
  TEntry* f = form ? set->Find(form) : nullptr;
  if (f && f->Background) return reinterpret_cast<INT_PTR>(f->Background);
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

INT_PTR CALLBACK FormProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWin32WidgetSet* set = ActiveSet();
  switch (msg) {
    case WM_INITDIALOG:
      return FALSE;  // the focus is set when the window is shown
    case WM_COMMAND:
      if (lParam) Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
      return TRUE;  // IDOK and IDCANCEL of the dialog manager mean nothing here
    case WM_CLOSE:
      if (TControl* form = set ? set->ControlOfWindow(dialog) : nullptr)
        PostControlNotice(form, cnCloseQuery);
      return TRUE;  // the model decides whether the window goes
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
      return ControlColor(dialog, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                          msg);
    case WM_CTLCOLORDLG: {
      TControl* form = set ? set->ControlOfWindow(dialog) : nullptr;
      TEntry* f = form ? set->Find(form) : nullptr;
      return f && f->Background ? reinterpret_cast<INT_PTR>(f->Background) : FALSE;
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      TControl* control = set ? set->ControlOfWindow(item->hwndItem) : nullptr;
      TEntry* e = control ? set->Find(control) : nullptr;
      if (!e || !e->OwnerDrawn) return FALSE;
      DrawBitBtn(control, *e, *item);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

HICON ProgramIcon(int size) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                       size, size, LR_DEFAULTCOLOR));
}

}  // namespace

HWND CreateFormWindow(TCustomForm* form) {
  // An empty template: the controls are made afterwards, in pixels rather than dialog units.
  alignas(DWORD) WORD buffer[32] = {};
  auto* tmpl = reinterpret_cast<DLGTEMPLATE*>(buffer);
  tmpl->style = FormStyle(form);
  tmpl->dwExtendedStyle = FormExStyle(form);
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), tmpl, nullptr, FormProc, 0);
  if (!dialog) return nullptr;
  if (HICON big = ProgramIcon(32))
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  if (HICON small = ProgramIcon(16))
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  return dialog;
}

void ApplyFormText(TCustomForm* form, TEntry& e) {
  SetWindowTextW(e.Wnd, ToWide(form->GetText(), e.CodePage).c_str());
}

void ApplyFormBounds(TCustomForm* form, TEntry& e) {
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(e.Wnd, GWL_STYLE));
  const DWORD ex = static_cast<DWORD>(GetWindowLongPtrW(e.Wnd, GWL_EXSTYLE));
  RECT rect{0, 0, std::max(1, form->ClientWidth()), std::max(1, form->ClientHeight())};
  AdjustWindowRectEx(&rect, style, FALSE, ex);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  int left = form->Left();
  int top = form->Top();
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  switch (form->Position()) {
    case poScreenCenter:
    case poDesktopCenter:
    case poMainFormCenter:
    case poOwnerFormCenter:
      left = area.left + (area.right - area.left - width) / 2;
      top = area.top + (area.bottom - area.top - height) / 2;
      break;
    default:
      break;
  }
  SetWindowPos(e.Wnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

POINT FormOffset(const TControl* control) {
  POINT at{control->Left(), control->Top()};
  for (const TWinControl* p = control->Parent(); p && !dynamic_cast<const TCustomForm*>(p);
       p = p->Parent()) {
    at.x += p->Left();
    at.y += p->Top();
  }
  return at;
}

namespace {

bool TakesFocus(TKind kind) {
  switch (kind) {
    case TKind::Button:
    case TKind::BitBtn:
    case TKind::CheckBox:
    case TKind::RadioButton:
    case TKind::Edit:
    case TKind::Memo:
    case TKind::ListBox:
    case TKind::ComboBox:
      return true;
    default:
      return false;
  }
}

// Each parent's controls by TabOrder (those without one after them, in creation order), a
// container's own controls right after it; hidden and disabled ones, and what is inside
// them, left out.
void TabChain(TWin32WidgetSet& set, TWinControl* parent, std::vector<HWND>& chain,
              std::vector<HWND>& others) {
  for (TWinControl* child : parent->TabOrderList()) {
    TEntry* e = set.Find(child);
    if (!e) continue;
    if (child->Visible() && child->Enabled() && child->TabStop() && TakesFocus(e->Kind))
      chain.push_back(e->Wnd);
    else
      others.push_back(e->Wnd);
    TabChain(set, child, chain, others);
  }
}

}  // namespace

std::vector<HWND> ApplyTabOrder(TWin32WidgetSet& set, TCustomForm* form) {
  std::vector<HWND> chain, others;
  TabChain(set, form, chain, others);
  HWND after = HWND_TOP;
  for (HWND wnd : chain) {
    LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    SetWindowLongPtrW(wnd, GWL_STYLE, style | WS_TABSTOP);
    SetWindowPos(wnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = wnd;
  }
  for (HWND wnd : others) {
    LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    SetWindowLongPtrW(wnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_TABSTOP));
  }
  return chain;
}

}  // namespace win32ws
