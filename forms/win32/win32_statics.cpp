// What only shows: labels (STATIC), pictures (a bitmap STATIC), frames (a group box around
// the controls of panels and groups) and the status line of the common controls.
#include "win32_widgets.h"
// After <windows.h>, which it needs.
#include <commctrl.h>

#include "forms/com_controls.h"
#include "forms/ext_controls.h"
#include "forms/std_controls.h"

#include <algorithm>

namespace win32ws {

bool StaticClass(TControl* control, TWidgetClass& cls) {
  if (auto* label = dynamic_cast<TCustomLabel*>(control)) {
    cls.Kind = TKind::Label;
    cls.ClassName = L"STATIC";
    DWORD align = label->Alignment() == taCenter         ? SS_CENTER
                  : label->Alignment() == taRightJustify ? SS_RIGHT
                  : label->WordWrap()                    ? SS_LEFT
                                                         : SS_LEFTNOWORDWRAP;
    cls.Style = SS_NOPREFIX | align;
  } else if (dynamic_cast<TImage*>(control)) {
    cls.Kind = TKind::Image;
    cls.ClassName = L"STATIC";
    cls.Style = SS_BITMAP | SS_REALSIZECONTROL;
  } else if (dynamic_cast<TStatusBar*>(control)) {
    cls.Kind = TKind::StatusBar;
    cls.ClassName = STATUSCLASSNAMEW;
    // Where the window puts it, not docked at the bottom.
    cls.Style = CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER;
  } else if (dynamic_cast<TWinControl*>(control)) {
    cls.Kind = TKind::Frame;
    cls.ClassName = L"BUTTON";
    cls.Style = BS_GROUPBOX;
  } else {
    return false;
  }
  return true;
}

void ApplyStaticPicture(TControl* control, TEntry& e) {
  auto* image = dynamic_cast<TImage*>(control);
  if (!image) return;
  if (e.Bitmap) DeleteObject(e.Bitmap);
  e.Bitmap = BitmapOf(image->Picture(), GetSysColor(COLOR_BTNFACE));
  SendMessageW(e.Wnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(e.Bitmap));
}

// A label that sizes itself to its text (the default) is at least as wide as the text, where
// the screen's font is wider than the one the window was designed with.
void FitLabel(TControl* control, TEntry& e) {
  auto* label = dynamic_cast<TCustomLabel*>(control);
  if (!label || !label->AutoSize() || label->WordWrap()) return;
  const std::wstring text = ToWide(control->GetText(), e.CodePage);
  HDC dc = GetDC(e.Wnd);
  HGDIOBJ old = SelectObject(dc, e.Font ? e.Font : GetStockObject(DEFAULT_GUI_FONT));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(e.Wnd, dc);
  const POINT at = FormOffset(control);
  SetWindowPos(e.Wnd, nullptr, at.x, at.y, std::max<int>(control->Width(), size.cx),
               std::max<int>(control->Height(), size.cy), SWP_NOZORDER | SWP_NOACTIVATE);
}

void ApplyStatusText(TControl* control, TEntry& e) {
  auto* bar = dynamic_cast<TStatusBar*>(control);
  if (!bar) return;
  if (bar->SimplePanel() || bar->Panels()->Count() == 0) {
    SendMessageW(e.Wnd, SB_SIMPLE, TRUE, 0);
    const std::wstring text = ToWide(bar->SimpleText(), e.CodePage);
    SendMessageW(e.Wnd, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
    return;
  }
  SendMessageW(e.Wnd, SB_SIMPLE, FALSE, 0);
  std::vector<int> edges;
  int right = 0;
  for (int i = 0; i < bar->Panels()->Count(); ++i) {
    right += bar->Panels()->Items(i)->Width();
    edges.push_back(i + 1 == bar->Panels()->Count() ? -1 : right);
  }
  SendMessageW(e.Wnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (int i = 0; i < bar->Panels()->Count(); ++i) {
    const std::wstring text = ToWide(bar->Panels()->Items(i)->Text(), e.CodePage);
    SendMessageW(e.Wnd, SB_SETTEXTW, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(text.c_str()));
  }
}

}  // namespace win32ws
