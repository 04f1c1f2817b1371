#include "forms/message_box.h"

std::vector<int> MessageBoxButtons(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
      return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
      return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
      return {IDYES, IDNO};
    case MB_RETRYCANCEL:
      return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE:
      return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    case MB_CANCELONLY:
      return {IDCANCEL};
    default:
      return {IDOK};
  }
}

int MessageBoxDefaultButton(UINT flags) {
  auto buttons = MessageBoxButtons(flags);
  std::size_t index = (flags & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons[0];
}

int MessageBoxEscapeResult(UINT flags) {
  auto buttons = MessageBoxButtons(flags);
  for (int id : buttons)
    if (id == IDCANCEL) return IDCANCEL;
  if (buttons.size() == 1 && buttons[0] == IDOK) return IDOK;
  return 0;
}

TMessageBoxIcon MessageBoxIconOf(UINT flags) {
  switch (flags & MB_ICONMASK) {
    case MB_ICONHAND:
      return TMessageBoxIcon::Error;
    case MB_ICONQUESTION:
      return TMessageBoxIcon::Question;
    case MB_ICONEXCLAMATION:
      return TMessageBoxIcon::Warning;
    case MB_ICONASTERISK:
      return TMessageBoxIcon::Information;
    default:
      return TMessageBoxIcon::None;
  }
}

std::string MessageBoxButtonText(int id, WORD language) {
  struct TTexts {
    int Id;
    const char* English;
    const char* Chinese;
  };
  static const TTexts texts[] = {
      {IDOK, "OK", "確定"},
      {IDCANCEL, "Cancel", "取消"},
      {IDABORT, "_Abort", "中止(_A)"},
      {IDRETRY, "_Retry", "重試(_R)"},
      {IDIGNORE, "_Ignore", "略過(_I)"},
      {IDYES, "_Yes", "是(_Y)"},
      {IDNO, "_No", "否(_N)"},
      {IDTRYAGAIN, "_Try Again", "重試(_T)"},
      {IDCONTINUE, "_Continue", "繼續(_C)"},
  };
  bool english = (language & 0x3FF) == 0x09;
  for (const TTexts& t : texts)
    if (t.Id == id) return english ? t.English : t.Chinese;
  return "?";
}
