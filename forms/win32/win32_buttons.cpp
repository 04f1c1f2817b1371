// Buttons: push buttons, picture buttons and check boxes (and radio buttons) as the system's
// BUTTON class. A picture button without a caption is a bitmap button; one with a caption is
// drawn by the widget set, since the system's button cannot colour its text.
#include "forms/buttons.h"
#include "forms/std_controls.h"
#include "win32_widgets.h"

namespace win32ws {

namespace {

bool HasCaption(const TControl* control) {
  return !control->GetText().empty();
}

}  // namespace

bool ButtonClass(TControl* control, TWidgetClass& cls) {
  if (dynamic_cast<TBitBtn*>(control)) {
    cls.Kind = TKind::BitBtn;
    cls.OwnerDrawn = HasCaption(control);
    cls.Style = cls.OwnerDrawn ? BS_OWNERDRAW : BS_PUSHBUTTON | BS_BITMAP;
  } else if (dynamic_cast<TButton*>(control)) {
    cls.Kind = TKind::Button;
    cls.Style = BS_PUSHBUTTON | BS_MULTILINE;
  } else if (dynamic_cast<TCheckBox*>(control)) {
    cls.Kind = TKind::CheckBox;
    cls.Style = BS_AUTOCHECKBOX;
  } else if (dynamic_cast<TRadioButton*>(control)) {
    cls.Kind = TKind::RadioButton;
    cls.Style = BS_AUTORADIOBUTTON;
  } else {
    return false;
  }
  cls.ClassName = L"BUTTON";
  return true;
}

bool IsPushButton(const TEntry& e) {
  return e.Kind == TKind::Button || e.Kind == TKind::BitBtn;
}

void ApplyButtonPicture(TControl* control, TEntry& e) {
  auto* button = dynamic_cast<TBitBtn*>(control);
  if (!button) return;
  if (e.Bitmap) DeleteObject(e.Bitmap);
  e.Bitmap = BitmapOf(button->Glyph(), GetSysColor(COLOR_BTNFACE));
  if (e.OwnerDrawn)
    InvalidateRect(e.Wnd, nullptr, TRUE);
  else
    SendMessageW(e.Wnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(e.Bitmap));
}

void ApplyButtonChecked(TControl* control, TEntry& e) {
  WPARAM state = BST_UNCHECKED;
  if (auto* check = dynamic_cast<TCheckBox*>(control)) {
    state = check->State() == cbGrayed ? BST_INDETERMINATE
            : check->Checked()         ? BST_CHECKED
                                       : BST_UNCHECKED;
  } else if (auto* radio = dynamic_cast<TRadioButton*>(control)) {
    state = radio->Checked() ? BST_CHECKED : BST_UNCHECKED;
  } else {
    return;
  }
  SendMessageW(e.Wnd, BM_SETCHECK, state, 0);
}

void DrawBitBtn(TControl* control, TEntry& e, const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT rect = item.rcItem;
  const bool pushed = item.itemState & ODS_SELECTED;
  const bool disabled = item.itemState & ODS_DISABLED;
  DrawFrameControl(dc, &rect, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  if (pushed) OffsetRect(&rect, 1, 1);

  const std::wstring caption = ToWide(control->GetText(), e.CodePage);
  HGDIOBJ oldFont = SelectObject(dc, e.Font ? e.Font : GetStockObject(DEFAULT_GUI_FONT));
  SIZE textSize{};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &textSize);
  BITMAP glyph{};
  if (e.Bitmap) GetObjectW(e.Bitmap, sizeof glyph, &glyph);
  constexpr int spacing = 4;  // between glyph and caption
  const int contentWidth =
      glyph.bmWidth + (glyph.bmWidth && !caption.empty() ? spacing : 0) + textSize.cx;
  int x = rect.left + (rect.right - rect.left - contentWidth) / 2;
  if (e.Bitmap) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, e.Bitmap);
    const int y = rect.top + (rect.bottom - rect.top - glyph.bmHeight) / 2;
    BitBlt(dc, x, y, glyph.bmWidth, glyph.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    x += glyph.bmWidth + spacing;
  }
  SetBkMode(dc, 1 /* TRANSPARENT */);
  SetTextColor(dc, disabled ? GetSysColor(COLOR_GRAYTEXT) : e.TextColor);
  RECT textRect{x, rect.top, rect.right, rect.bottom};
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect,
            DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -4, -4);
    DrawFocusRect(dc, &focus);
  }
}

}  // namespace win32ws
