// Message box flags and results (the Win32 MB_* and ID* values), and the rules that every
// widget set's box follows: which buttons, which one is the default, what Escape answers.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

// Not a Win32 type, which has no box with Cancel alone: the runtime's message dialog with one
// Cancel button. Our boxes draw it; Enter and Escape both answer IDCANCEL.
inline constexpr UINT MB_CANCELONLY = 0x0007;

// Windows' own headers define these already.
#ifndef _WIN32
inline constexpr UINT MB_OK = 0x0000;
inline constexpr UINT MB_OKCANCEL = 0x0001;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x0002;
inline constexpr UINT MB_YESNOCANCEL = 0x0003;
inline constexpr UINT MB_YESNO = 0x0004;
inline constexpr UINT MB_RETRYCANCEL = 0x0005;
inline constexpr UINT MB_CANCELTRYCONTINUE = 0x0006;
inline constexpr UINT MB_TYPEMASK = 0x000F;

inline constexpr UINT MB_ICONHAND = 0x0010;
inline constexpr UINT MB_ICONSTOP = MB_ICONHAND;
inline constexpr UINT MB_ICONERROR = MB_ICONHAND;
inline constexpr UINT MB_ICONQUESTION = 0x0020;
inline constexpr UINT MB_ICONEXCLAMATION = 0x0030;
inline constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr UINT MB_ICONASTERISK = 0x0040;
inline constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr UINT MB_ICONMASK = 0x00F0;

inline constexpr UINT MB_DEFBUTTON1 = 0x0000;
inline constexpr UINT MB_DEFBUTTON2 = 0x0100;
inline constexpr UINT MB_DEFBUTTON3 = 0x0200;
inline constexpr UINT MB_DEFBUTTON4 = 0x0300;
inline constexpr UINT MB_DEFMASK = 0x0F00;

inline constexpr UINT MB_APPLMODAL = 0x0000;
inline constexpr UINT MB_SYSTEMMODAL = 0x1000;
inline constexpr UINT MB_TASKMODAL = 0x2000;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int IDTRYAGAIN = 10;
inline constexpr int IDCONTINUE = 11;
#endif

enum class TMessageBoxIcon { None, Error, Question, Warning, Information };

// Languages of the buttons' texts (Win32 language identifiers, as MessageBoxEx takes them).
// Zero is the system's user-interface language, Traditional Chinese on the systems the tool
// was written for.
inline constexpr WORD LANGID_SYSTEM_DEFAULT = 0x0000;
inline constexpr WORD LANGID_CHINESE_TRADITIONAL = 0x0404;
inline constexpr WORD LANGID_ENGLISH_US = 0x0409;

// The buttons, left to right, as ID* values (an unknown type shows OK).
std::vector<int> MessageBoxButtons(UINT flags);
// The button that Enter presses: MB_DEFBUTTONn, the first when n is beyond the buttons.
int MessageBoxDefaultButton(UINT flags);
// What Escape and the close box answer: IDCANCEL when there is a Cancel button, IDOK for a
// box with only OK, 0 (nothing happens) otherwise.
int MessageBoxEscapeResult(UINT flags);
TMessageBoxIcon MessageBoxIconOf(UINT flags);
// A button's text as UTF-8, its access key marked with '_' ("_Yes", "是(_Y)"): English for any
// English identifier (primary language 09h), Traditional Chinese otherwise.
std::string MessageBoxButtonText(int id, WORD language);
