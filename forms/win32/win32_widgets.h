// What the parts of the Win32 widget set share: the record of each control's window, the
// widget set itself, and the helpers for text, fonts and pictures. Each control family has
// its own file; this header is theirs alone.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "forms/control.h"
#include "forms/graphics.h"
#include "forms/widget_set.h"
#include "platform/windows.h"

namespace win32ws {

enum class TKind {
  Form,
  Label,
  Button,
  BitBtn,
  CheckBox,
  RadioButton,
  Edit,
  Memo,
  ListBox,
  ComboBox,
  StatusBar,
  Image,
  Frame,  // panels, group boxes, radio groups: a frame with a caption
};

struct TEntry {
  TKind Kind = TKind::Frame;
  HWND Wnd = nullptr;
  HFONT Font = nullptr;         // shared, owned by the font cache
  HBITMAP Bitmap = nullptr;     // picture or glyph, owned here
  HBRUSH Background = nullptr;  // a colour of the control's own, owned here
  COLORREF TextColor = 0;
  UINT CodePage = 950;  // of the control's texts
  bool OwnerDrawn = false;
};

// ---- text, fonts, colours, pictures (win32_text.cpp)

// The code page of a font's texts. The texts of the default character set are those of the
// system the program was written for (Big5), whatever the ANSI code page of this one.
UINT CodePageOf(TFontCharset charset);
std::wstring ToWide(const std::string& bytes, UINT codePage);
std::string FromWide(const std::wstring& text, UINT codePage);
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& text);
// Line breaks as the system's controls want them: CR LF.
std::wstring WideLines(const std::wstring& text);
std::wstring WindowTextOf(HWND wnd);
// The font of a control's text: the control's font, with the Chinese character set where the
// text is Chinese, so that the font mapper picks a face with the glyphs.
HFONT FontFor(const TFont* font, const std::string& text);
void FreeFonts();
COLORREF ColorRefOf(TColor color);
// A picture (PNG bytes) as a bitmap over `background`; null when it cannot be read.
HBITMAP BitmapOf(const TBitmap* bitmap, COLORREF background);
void StopPictures();

// ---- the widget set (win32_widget_set.cpp)

class TWin32WidgetSet : public TWidgetSet {
 public:
  TWin32WidgetSet();
  ~TWin32WidgetSet() override;

  std::string Name() const override { return "win32"; }
  void ShowForm(TCustomForm* form) override;
  void HideForm(TCustomForm* form) override;
  void ControlChanged(TControl* control, TWidgetChange change) override;
  void ReleaseControl(TControl* control) override;
  bool ReadText(TControl* control, std::string& text) override;
  bool ReadChecked(TControl* control, bool& checked) override;
  bool ReadItemIndex(TControl* control, int& index) override;
  std::unique_ptr<TModalBox> OpenMessageBox(const TMessageBoxRequest& request) override;
  bool Probe(TControl* control, TWidgetProbe& probe) override;
  bool TranslateDialogMessage(MSG& msg) override;

  TEntry* Find(TControl* control);
  // The control whose window `wnd` is (a form or a control on one); null for others.
  TControl* ControlOfWindow(HWND wnd) const;
  // Notices are dropped while the set itself changes what the windows show.
  bool Mirroring() const { return FMirroring > 0; }

 private:
  struct TMirror {
    int& Depth;
    explicit TMirror(int& depth) : Depth(depth) { ++Depth; }
    ~TMirror() { --Depth; }
  };
  void BuildForm(TCustomForm* form);
  void Build(TControl* control, HWND dialog);
  void BuildChildren(TWinControl* parent, HWND dialog);
  void Destroy(TControl* control);
  void ApplyAll(TControl* control, TEntry& e);
  void Apply(TControl* control, TEntry& e, TWidgetChange change);
  void ApplyStyle(TControl* control, TEntry& e);
  void ApplyBounds(TControl* control, TEntry& e);
  HWND DialogOf(TControl* control);

  std::unordered_map<TControl*, TEntry> FEntries;
  int FMirroring = 0;
};

TWin32WidgetSet* ActiveSet();

// ---- the window (win32_window.cpp)

// Makes the dialog window of a form (hidden; the controls are added by the caller).
HWND CreateFormWindow(TCustomForm* form);
void ApplyFormText(TCustomForm* form, TEntry& e);
void ApplyFormBounds(TCustomForm* form, TEntry& e);
// The tab order of the window: the Z order of its controls and their WS_TABSTOP styles.
// Returns the controls' windows that take the focus, in order.
std::vector<HWND> ApplyTabOrder(TWin32WidgetSet& set, TCustomForm* form);
// The left and top of a control in its form's client area.
POINT FormOffset(const TControl* control);

// ---- control families: the window class and styles, and what each family shows

struct TWidgetClass {
  TKind Kind = TKind::Frame;
  const wchar_t* ClassName = L"STATIC";
  DWORD Style = 0;
  DWORD ExStyle = 0;
  bool OwnerDrawn = false;
};

// win32_buttons.cpp: push, picture and check buttons; false when `control` is none of them.
bool ButtonClass(TControl* control, TWidgetClass& cls);
void ApplyButtonPicture(TControl* control, TEntry& e);
void ApplyButtonChecked(TControl* control, TEntry& e);
// An owner-drawn picture button: its frame, glyph and caption in its own colour.
void DrawBitBtn(TControl* control, TEntry& e, const DRAWITEMSTRUCT& item);
bool IsPushButton(const TEntry& e);

// win32_edits.cpp: one-line edits and memos.
bool EditClass(TControl* control, TWidgetClass& cls);
void ApplyEditText(TControl* control, TEntry& e);
void ApplyEditReadOnly(TControl* control, TEntry& e);
bool ReadEditText(TControl* control, TEntry& e, std::string& text);

// win32_lists.cpp: list boxes (the file list box among them) and combo boxes.
bool ListClass(TControl* control, TWidgetClass& cls);
void ApplyListItems(TControl* control, TEntry& e);
void ApplyListItemIndex(TControl* control, TEntry& e);
bool ReadListItemIndex(TControl* control, TEntry& e, int& index);
std::string ListText(TControl* control);

// win32_statics.cpp: labels, pictures, frames and the status line.
bool StaticClass(TControl* control, TWidgetClass& cls);
void ApplyStaticPicture(TControl* control, TEntry& e);
void ApplyStatusText(TControl* control, TEntry& e);
void FitLabel(TControl* control, TEntry& e);

// win32_message_box.cpp
int ShowMessageBox(const TMessageBoxRequest& request, HWND owner);

}  // namespace win32ws
