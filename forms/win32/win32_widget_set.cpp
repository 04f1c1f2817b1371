// The Win32 widget set: every form a dialog window of the system, every control one of its
// controls, all placed in the form's client area. Windows report what the user did through
// the form's dialog procedure, which only posts notices; the model changes when the loop
// handles them.
#include "forms/win32_widget_set.h"

#include "win32_widgets.h"
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <algorithm>

#include "forms/application.h"
#include "forms/form.h"
#include "forms/std_controls.h"

namespace win32ws {

namespace {

TWin32WidgetSet* gActive = nullptr;

// The first identifier of a control: below it are the dialog manager's IDOK, IDCANCEL ...
constexpr int kFirstId = 1000;
int gNextId = kFirstId;

}  // namespace

TWin32WidgetSet* ActiveSet() {
  return gActive;
}

TWin32WidgetSet::TWin32WidgetSet() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  gActive = this;
}

TWin32WidgetSet::~TWin32WidgetSet() {
  std::vector<HWND> windows;
  for (auto& [control, entry] : FEntries) {
    if (entry.Kind == TKind::Form) windows.push_back(entry.Wnd);
    if (entry.Bitmap) DeleteObject(entry.Bitmap);
    if (entry.Background) DeleteObject(entry.Background);
  }
  FEntries.clear();
  for (HWND wnd : windows) DestroyWindow(wnd);
  if (gActive == this) gActive = nullptr;
  FreeFonts();
  StopPictures();
}

TEntry* TWin32WidgetSet::Find(TControl* control) {
  auto it = FEntries.find(control);
  return it == FEntries.end() ? nullptr : &it->second;
}

TControl* TWin32WidgetSet::ControlOfWindow(HWND wnd) const {
  if (!wnd) return nullptr;
  auto serial = static_cast<std::uint32_t>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
  TControl* control = serial ? TControl::FindBySerial(serial) : nullptr;
  if (!control) return nullptr;
  auto it = FEntries.find(control);
  return it != FEntries.end() && it->second.Wnd == wnd ? control : nullptr;
}

HWND TWin32WidgetSet::DialogOf(TControl* control) {
  TCustomForm* form = control->ParentForm();
  TEntry* e = form ? Find(form) : nullptr;
  return e ? e->Wnd : nullptr;
}

void TWin32WidgetSet::BuildForm(TCustomForm* form) {
  HWND dialog = CreateFormWindow(form);
  if (!dialog) return;
  SetWindowLongPtrW(dialog, GWLP_USERDATA, static_cast<LONG_PTR>(form->Serial()));
  TEntry& e = FEntries[form];
  e.Kind = TKind::Form;
  e.Wnd = dialog;
  ApplyAll(form, e);
  BuildChildren(form, dialog);
  ApplyTabOrder(*this, form);
}

void TWin32WidgetSet::BuildChildren(TWinControl* parent, HWND dialog) {
  for (int i = 0; i < parent->ControlCount(); ++i) Build(parent->Controls(i), dialog);
}

void TWin32WidgetSet::Build(TControl* control, HWND dialog) {
  if (Find(control)) return;
  TWidgetClass cls;
  if (!ButtonClass(control, cls) && !EditClass(control, cls) && !ListClass(control, cls) &&
      !StaticClass(control, cls))
    return;  // nothing to draw
  const POINT at = FormOffset(control);
  const int id = gNextId++;
  HWND wnd = CreateWindowExW(cls.ExStyle, cls.ClassName, L"", WS_CHILD | cls.Style, at.x, at.y,
                             std::max(0, control->Width()), std::max(0, control->Height()), dialog,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
  if (!wnd) return;
  SetWindowLongPtrW(wnd, GWLP_USERDATA, static_cast<LONG_PTR>(control->Serial()));
  TEntry& e = FEntries[control];
  e.Kind = cls.Kind;
  e.Wnd = wnd;
  e.OwnerDrawn = cls.OwnerDrawn;
  ApplyAll(control, e);
  ShowWindow(wnd, control->Visible() ? SW_SHOWNA : SW_HIDE);
  if (auto* w = dynamic_cast<TWinControl*>(control)) BuildChildren(w, dialog);
}

void TWin32WidgetSet::ApplyAll(TControl* control, TEntry& e) {
  TMirror mirror(FMirroring);
  ApplyStyle(control, e);
  for (TWidgetChange change :
       {TWidgetChange::wcText, TWidgetChange::wcBounds, TWidgetChange::wcItems,
        TWidgetChange::wcPicture, TWidgetChange::wcChecked, TWidgetChange::wcReadOnly,
        TWidgetChange::wcEnabled})
    Apply(control, e, change);
}

// The font of the text the control shows now, and its colours.
void TWin32WidgetSet::ApplyStyle(TControl* control, TEntry& e) {
  const TFont* font = control->Font();
  e.CodePage = CodePageOf(font->CharSet());
  e.TextColor = ColorRefOf(font->Color());
  if (e.Background) {
    DeleteObject(e.Background);
    e.Background = nullptr;
  }
  bool transparent = false;
  if (auto* label = dynamic_cast<TCustomLabel*>(control)) transparent = label->Transparent();
  if (!IsSystemColor(control->Color()) && !transparent &&
      (!control->ParentColor() || e.Kind == TKind::Form))
    e.Background = CreateSolidBrush(ColorRefOf(control->Color()));
  if (e.Kind == TKind::Form) {
    InvalidateRect(e.Wnd, nullptr, TRUE);
    return;
  }
  std::string text = control->GetText();
  if (e.Kind == TKind::Memo || e.Kind == TKind::ListBox || e.Kind == TKind::ComboBox ||
      e.Kind == TKind::StatusBar)
    text = ListText(control);
  HFONT chosen = FontFor(font, text);
  if (chosen != e.Font) {
    e.Font = chosen;
    SendMessageW(e.Wnd, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
  }
  InvalidateRect(e.Wnd, nullptr, TRUE);
}

void TWin32WidgetSet::ApplyBounds(TControl* control, TEntry& e) {
  if (e.Kind == TKind::Form) {
    ApplyFormBounds(static_cast<TCustomForm*>(control), e);
    return;
  }
  const POINT at = FormOffset(control);
  SetWindowPos(e.Wnd, nullptr, at.x, at.y, std::max(0, control->Width()),
               std::max(0, control->Height()), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32WidgetSet::Apply(TControl* control, TEntry& e, TWidgetChange change) {
  switch (change) {
    case TWidgetChange::wcText:
      ApplyStyle(control, e);  // Chinese text needs a font with its glyphs
      switch (e.Kind) {
        case TKind::Form:
          ApplyFormText(static_cast<TCustomForm*>(control), e);
          break;
        case TKind::Edit:
        case TKind::Memo:
          ApplyEditText(control, e);
          break;
        case TKind::StatusBar:
          ApplyStatusText(control, e);
          break;
        case TKind::ListBox:
        case TKind::ComboBox:
        case TKind::Image:
          break;
        default:
          SetWindowTextW(e.Wnd, ToWide(control->GetText(), e.CodePage).c_str());
          if (e.Kind == TKind::Label) FitLabel(control, e);
          break;
      }
      break;
    case TWidgetChange::wcBounds:
      ApplyBounds(control, e);
      if (e.Kind == TKind::Label) FitLabel(control, e);
      break;
    case TWidgetChange::wcFont:
    case TWidgetChange::wcColor:
      Apply(control, e, TWidgetChange::wcText);  // the code page may have changed
      Apply(control, e, TWidgetChange::wcItems);
      break;
    case TWidgetChange::wcVisible:
      if (e.Kind != TKind::Form) {
        ShowWindow(e.Wnd, control->Visible() ? SW_SHOWNA : SW_HIDE);
        if (TCustomForm* form = control->ParentForm(); form && Find(form))
          ApplyTabOrder(*this, form);
      }
      break;
    case TWidgetChange::wcEnabled:
      EnableWindow(e.Wnd, control->Enabled());
      break;
    case TWidgetChange::wcItems:
      if (e.Kind == TKind::Memo) {
        ApplyStyle(control, e);
        ApplyEditText(control, e);
      } else if (e.Kind == TKind::ListBox || e.Kind == TKind::ComboBox) {
        ApplyStyle(control, e);
        ApplyListItems(control, e);
      } else if (e.Kind == TKind::StatusBar) {
        ApplyStyle(control, e);
        ApplyStatusText(control, e);
      }
      break;
    case TWidgetChange::wcItemIndex:
      ApplyListItemIndex(control, e);
      break;
    case TWidgetChange::wcChecked:
      ApplyButtonChecked(control, e);
      break;
    case TWidgetChange::wcReadOnly:
      ApplyEditReadOnly(control, e);
      break;
    case TWidgetChange::wcPicture:
      ApplyButtonPicture(control, e);
      ApplyStaticPicture(control, e);
      break;
    case TWidgetChange::wcOptions:
      if (e.Kind == TKind::Form) ApplyBounds(control, e);
      break;
    case TWidgetChange::wcHint:
    case TWidgetChange::wcParent:
      break;
  }
}

void TWin32WidgetSet::ShowForm(TCustomForm* form) {
  gActive = this;
  bool built = false;
  if (!Find(form)) {
    BuildForm(form);
    built = true;
  }
  TEntry* e = Find(form);
  if (!e) return;
  ShowWindow(e->Wnd, SW_SHOW);
  SetForegroundWindow(e->Wnd);
  if (built) {
    // A window opens with the focus on the first control in its tab order.
    std::vector<HWND> chain = ApplyTabOrder(*this, form);
    if (!chain.empty())
      SendMessageW(e->Wnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(chain[0]), TRUE);
  }
}

void TWin32WidgetSet::HideForm(TCustomForm* form) {
  if (TEntry* e = Find(form)) ShowWindow(e->Wnd, SW_HIDE);
}

// Forgets the control and everything under it; the system destroys child windows with
// their parent.
void TWin32WidgetSet::Destroy(TControl* control) {
  TEntry* e = Find(control);
  if (!e) return;
  HWND wnd = e->Wnd;
  std::vector<HWND> gone;
  for (auto it = FEntries.begin(); it != FEntries.end();) {
    HWND w = it->second.Wnd;
    if (w == wnd || IsChild(wnd, w)) {
      if (it->second.Bitmap) DeleteObject(it->second.Bitmap);
      if (it->second.Background) DeleteObject(it->second.Background);
      it = FEntries.erase(it);
    } else {
      ++it;
    }
  }
  // A control's own children are siblings in the form's window: they go with it.
  if (auto* parent = dynamic_cast<TWinControl*>(control))
    for (int i = 0; i < parent->ControlCount(); ++i) Destroy(parent->Controls(i));
  DestroyWindow(wnd);
}

void TWin32WidgetSet::ControlChanged(TControl* control, TWidgetChange change) {
  TMirror mirror(FMirroring);
  if (change == TWidgetChange::wcParent) {
    Destroy(control);
    if (control->Parent())
      if (HWND dialog = DialogOf(control)) {
        Build(control, dialog);
        ApplyTabOrder(*this, control->ParentForm());
      }
    return;
  }
  TEntry* e = Find(control);
  if (!e) return;
  Apply(control, *e, change);
}

void TWin32WidgetSet::ReleaseControl(TControl* control) {
  Destroy(control);
}

bool TWin32WidgetSet::ReadText(TControl* control, std::string& text) {
  TEntry* e = Find(control);
  return e && ReadEditText(control, *e, text);
}

bool TWin32WidgetSet::ReadChecked(TControl* control, bool& checked) {
  TEntry* e = Find(control);
  if (!e || (e->Kind != TKind::CheckBox && e->Kind != TKind::RadioButton)) return false;
  checked = SendMessageW(e->Wnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
  return true;
}

bool TWin32WidgetSet::ReadItemIndex(TControl* control, int& index) {
  TEntry* e = Find(control);
  return e && ReadListItemIndex(control, *e, index);
}

namespace {

class TSystemBox : public TModalBox {};

}  // namespace

std::unique_ptr<TModalBox> TWin32WidgetSet::OpenMessageBox(const TMessageBoxRequest& request) {
  gActive = this;
  HWND owner = nullptr;
  if (request.Owner)
    if (TEntry* e = Find(request.Owner)) owner = e->Wnd;
  // The system's box runs its own loop, which keeps dispatching timers, sockets and posted
  // notices; it returns with the answer.
  auto box = std::make_unique<TSystemBox>();
  box->Result = ShowMessageBox(request, owner);
  return box;
}

bool TWin32WidgetSet::Probe(TControl* control, TWidgetProbe& probe) {
  TEntry* e = Find(control);
  if (!e) return false;
  probe.Mapped = IsWindowVisible(e->Wnd);
  RECT rect{};
  GetWindowRect(e->Wnd, &rect);
  probe.ScreenLeft = rect.left;
  probe.ScreenTop = rect.top;
  probe.Width = rect.right - rect.left;
  probe.Height = rect.bottom - rect.top;
  probe.Text = WideToUtf8(WindowTextOf(e->Wnd));
  probe.Focused = GetFocus() == e->Wnd;
  if (e->Kind == TKind::ListBox)
    probe.ItemHeight = static_cast<int>(SendMessageW(e->Wnd, LB_GETITEMHEIGHT, 0, 0));
  return true;
}

// The dialog manager moves the focus with Tab and Shift+Tab and presses buttons with Space.
// Enter presses the focused push button here, also an owner-drawn one, which the dialog
// manager would pass over for the default button.
bool TWin32WidgetSet::TranslateDialogMessage(MSG& msg) {
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
    TControl* control = ControlOfWindow(msg.hwnd);
    TEntry* e = control ? Find(control) : nullptr;
    if (e && IsPushButton(*e)) {
      SendMessageW(e->Wnd, BM_CLICK, 0, 0);
      return true;
    }
  }
  for (auto& [control, entry] : FEntries)
    if (entry.Kind == TKind::Form && (msg.hwnd == entry.Wnd || IsChild(entry.Wnd, msg.hwnd)))
      return IsDialogMessageW(entry.Wnd, &msg);
  return false;
}

}  // namespace win32ws

std::unique_ptr<TWidgetSet> CreateWin32WidgetSet(std::string* error) {
  // The first window of a session waits for the desktop, which may take a while to come up
  // (Wine starts it with the first program that shows a window): a window that cannot be made
  // is tried again for some seconds before the program gives up.
  const ULONGLONG deadline = GetTickCount64() + 30000;
  for (;;) {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (probe) {
      DestroyWindow(probe);
      return std::make_unique<win32ws::TWin32WidgetSet>();
    }
    if (GetTickCount64() >= deadline) break;
    Sleep(250);
  }
  if (error)
    *error = "the system makes no windows for this program (error " +
             std::to_string(GetLastError()) + ")";
  return nullptr;
}

bool UseWin32WidgetSet(std::string* error) {
  auto set = CreateWin32WidgetSet(error);
  if (!set) return false;
  Application->SetWidgetSet(std::move(set));
  return true;
}
