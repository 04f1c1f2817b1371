// Message boxes and the confirmation dialog: the system's MessageBoxW, its texts converted
// from the program's code page, its buttons labelled in the language of the program's window
// (the system would label them in its own). A box with Cancel alone does not exist in the
// system: it is an OK box whose button says Cancel and answers IDCANCEL.
#include "forms/message_box.h"

#include "win32_widgets.h"

namespace win32ws {

namespace {

struct TBoxLabels {
  HHOOK Hook = nullptr;
  HFONT Font = nullptr;  // with the glyphs of the texts, for the box's text and buttons
  std::vector<std::pair<int, std::wstring>> Buttons;  // dialog item, its text
};

thread_local TBoxLabels* gLabels = nullptr;

// "是(_Y)" as the system marks an access key: "是(&Y)".
std::wstring ButtonText(int id, WORD language) {
  std::wstring text = Utf8ToWide(MessageBoxButtonText(id, language));
  for (wchar_t& c : text)
    if (c == L'_') c = L'&';
  return text;
}

// Runs when the box is about to be activated, its buttons made.
LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam) {
  TBoxLabels* labels = gLabels;
  if (!labels) return 0;
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    if (labels->Font)
      EnumChildWindows(
          box,
          [](HWND child, LPARAM font) -> BOOL {
            SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
            return TRUE;
          },
          reinterpret_cast<LPARAM>(labels->Font));
    for (auto& [item, text] : labels->Buttons) SetDlgItemTextW(box, item, text.c_str());
    UnhookWindowsHookEx(labels->Hook);
    labels->Hook = nullptr;
    return 0;
  }
  return CallNextHookEx(labels->Hook, code, wParam, lParam);
}

}  // namespace

int ShowMessageBox(const TMessageBoxRequest& request, HWND owner) {
  const UINT type = request.Flags & MB_TYPEMASK;
  const bool cancelOnly = type == MB_CANCELONLY;
  UINT flags = request.Flags;
  if (cancelOnly) flags = (flags & ~MB_TYPEMASK) | MB_OK;
  if (!owner) flags |= MB_TASKMODAL;

  TBoxLabels labels;
  for (int id : MessageBoxButtons(request.Flags))
    labels.Buttons.emplace_back(cancelOnly ? IDOK : id, ButtonText(id, request.Language));
  // The texts are the program's: Big5 bytes like the rest of its texts.
  const std::wstring text = WideLines(ToWide(request.Text, CodePageOf(DEFAULT_CHARSET)));
  const std::wstring caption = ToWide(request.Caption, CodePageOf(DEFAULT_CHARSET));

  // The system's message font, in the character set of the texts: the font mapper then finds
  // a face with their glyphs where the system's own face has none.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    metrics.lfMessageFont.lfCharSet = CHINESEBIG5_CHARSET;
    labels.Font = CreateFontIndirectW(&metrics.lfMessageFont);
  }

  TBoxLabels* outer = gLabels;
  gLabels = &labels;
  labels.Hook = SetWindowsHookExW(WH_CBT, BoxHook, nullptr, GetCurrentThreadId());
  int result = MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
  if (labels.Hook) UnhookWindowsHookEx(labels.Hook);
  gLabels = outer;
  if (labels.Font) DeleteObject(labels.Font);
  if (cancelOnly && result != 0) result = IDCANCEL;
  return result;
}

}  // namespace win32ws
