// Texts, fonts, colours and pictures for the system's controls. The model holds texts as
// bytes of a code page; the controls get them as UTF-16 through the wide-character functions,
// so that Chinese reads right whatever the ANSI code page of the system.
#include "win32_widgets.h"

#include <algorithm>
#include <map>
#include <tuple>

// GDI+ reads the PNG pictures. Its headers want min and max, which NOMINMAX takes away.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <objidl.h>
#include <shlwapi.h>
// After the COM types, which it uses.
#include <gdiplus.h>

namespace win32ws {

UINT CodePageOf(TFontCharset charset) {
  if (charset == DEFAULT_CHARSET) return 950;
  return CharSetToCodePage(charset);
}

std::wstring ToWide(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  int n = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (n <= 0) {
    codePage = 1252;  // a code page this system lacks: the bytes still show
    n = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) return std::wstring(bytes.begin(), bytes.end());
  }
  std::wstring text(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), n);
  return text;
}

std::string FromWide(const std::wstring& text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int n = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), size, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

std::wstring Utf8ToWide(const std::string& utf8) {
  return ToWide(utf8, CP_UTF8);
}

std::string WideToUtf8(const std::wstring& text) {
  return FromWide(text, CP_UTF8);
}

std::wstring WideLines(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      out += L"\r\n";
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    } else if (text[i] == L'\n') {
      out += L"\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

std::wstring WindowTextOf(HWND wnd) {
  int n = GetWindowTextLengthW(wnd);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(wnd, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return text;
}

namespace {

using TFontKey = std::tuple<std::wstring, int, int, bool, bool, bool, int>;

std::map<TFontKey, HFONT>& Fonts() {
  static std::map<TFontKey, HFONT> fonts;
  return fonts;
}

bool IsChinese(const std::string& text, UINT codePage) {
  if (codePage != 950) return false;
  for (unsigned char c : text)
    if (c >= 0x80) return true;
  return false;
}

}  // namespace

HFONT FontFor(const TFont* font, const std::string& text) {
  BYTE charset = font->CharSet();
  const UINT page = CodePageOf(charset);
  // The default set means Big5 on the system the texts are written for; a face that has
  // the glyphs is found through the Chinese set.
  if (charset == DEFAULT_CHARSET && IsChinese(text, page)) charset = CHINESEBIG5_CHARSET;
  std::wstring face = ToWide(font->Name(), page);
  if (face.size() >= LF_FACESIZE) face.resize(LF_FACESIZE - 1);
  const TFontStyles style = font->Style();
  TFontKey key{face,
               font->PixelHeight(),
               style.Contains(fsBold) ? FW_BOLD : FW_NORMAL,
               style.Contains(fsItalic),
               style.Contains(fsUnderline),
               style.Contains(fsStrikeOut),
               charset};
  HFONT& made = Fonts()[key];
  if (!made)
    made = CreateFontW(-std::max(1, font->PixelHeight()), 0, 0, 0, std::get<2>(key),
                       std::get<3>(key), std::get<4>(key), std::get<5>(key), charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  return made;
}

void FreeFonts() {
  for (auto& [key, font] : Fonts())
    if (font) DeleteObject(font);
  Fonts().clear();
}

COLORREF ColorRefOf(TColor color) {
  return static_cast<COLORREF>(ColorToRGB(color) & 0xFFFFFF);
}

namespace {

ULONG_PTR gGdiplus = 0;

bool StartPictures() {
  if (gGdiplus) return true;
  Gdiplus::GdiplusStartupInput input;
  return Gdiplus::GdiplusStartup(&gGdiplus, &input, nullptr) == Gdiplus::Ok;
}

}  // namespace

HBITMAP BitmapOf(const TBitmap* bitmap, COLORREF background) {
  if (!bitmap || bitmap->Empty() || !StartPictures()) return nullptr;
  const std::string& data = bitmap->Data();
  IStream* stream =
      SHCreateMemStream(reinterpret_cast<const BYTE*>(data.data()), static_cast<UINT>(data.size()));
  if (!stream) return nullptr;
  Gdiplus::GpBitmap* picture = nullptr;
  HBITMAP result = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &picture) == Gdiplus::Ok) {
    Gdiplus::ARGB argb = 0xFF000000u | (GetRValue(background) << 16) |
                         (GetGValue(background) << 8) | GetBValue(background);
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(picture, &result, argb) != Gdiplus::Ok)
      result = nullptr;
    Gdiplus::DllExports::GdipDisposeImage(picture);
  }
  stream->Release();
  return result;
}

void StopPictures() {
  if (gGdiplus) Gdiplus::GdiplusShutdown(gGdiplus);
  gGdiplus = 0;
}

}  // namespace win32ws
