// Code page conversion, string resources and system message texts over the system's own.

#include <vector>

#include "platform/codepages.h"
#include "platform/resources.h"
#include "platform/system.h"

namespace platform {

namespace {

// The program's texts are Big5 bytes whatever the system's ANSI code page is (the tool was
// made for Traditional Chinese systems): the ANSI code page of these helpers is 950.
UINT Resolve(UINT codePage) {
  return codePage == CP_ACP ? CP_BIG5 : codePage;
}

}  // namespace

std::u16string ToUtf16(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  int needed = MultiByteToWideChar(Resolve(codePage), 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string out(static_cast<std::size_t>(needed), u'\0');
  needed = MultiByteToWideChar(Resolve(codePage), 0, text.data(), length,
                               reinterpret_cast<wchar_t*>(out.data()), needed);
  out.resize(needed > 0 ? static_cast<std::size_t>(needed) : 0);
  return out;
}

std::string FromUtf16(const std::u16string& text, UINT codePage) {
  if (text.empty()) return {};
  const UINT page = Resolve(codePage);
  const auto* src = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  // UTF-8 takes no default character.
  const char* defaultChar = page == CP_UTF8 ? nullptr : "?";
  int needed = WideCharToMultiByte(page, 0, src, length, nullptr, 0, defaultChar, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<std::size_t>(needed), '\0');
  needed = WideCharToMultiByte(page, 0, src, length, out.data(), needed, defaultChar, nullptr);
  out.resize(needed > 0 ? static_cast<std::size_t>(needed) : 0);
  return out;
}

std::string ConvertCodePage(const std::string& text, UINT fromCodePage, UINT toCodePage) {
  if (Resolve(fromCodePage) == Resolve(toCodePage)) return text;
  return FromUtf16(ToUtf16(text, fromCodePage), toCodePage);
}

std::string LoadResString(HINSTANCE instance, UINT id) {
  // bufferSize 0: a pointer to the resource's own UTF-16 text, which is not terminated.
  const wchar_t* text = nullptr;
  int length = LoadStringW(instance, id, reinterpret_cast<wchar_t*>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  SetLastError(ERROR_SUCCESS);
  return FromUtf16(
      std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length)),
      CP_ACP);
}

std::string SysErrorMessage(DWORD code) {
  char buffer[512];
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buffer, sizeof buffer, nullptr);
  if (length == 0)
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

}  // namespace platform
