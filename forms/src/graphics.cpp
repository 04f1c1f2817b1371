#include "forms/graphics.h"

#include <cmath>
#include <fstream>
#include <iterator>

#include "forms/strings.h"
#include "platform/codepages.h"
#include "platform/files.h"
#include "platform/resources.h"

bool IsSystemColor(TColor color) {
  return (static_cast<std::uint32_t>(color) & 0xFF000000u) == 0x80000000u;
}

std::uint32_t ColorToRGB(TColor color) {
  if (!IsSystemColor(color)) return static_cast<std::uint32_t>(color) & 0xFFFFFF;
  // Classic Windows desktop colours, 0x00BBGGRR, by system colour number.
  static const std::uint32_t system[] = {
      0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000, 0x000000,
      0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080,
      0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000, 0xE1FFFF};
  auto index = static_cast<std::uint32_t>(color) & 0xFF;
  return index < std::size(system) ? system[index] : 0;
}

const TIdentMap& ColorIdents() {
  static const TIdentMap map{{
      {"clBlack", clBlack},
      {"clMaroon", clMaroon},
      {"clGreen", clGreen},
      {"clOlive", clOlive},
      {"clNavy", clNavy},
      {"clPurple", clPurple},
      {"clTeal", clTeal},
      {"clGray", clGray},
      {"clSilver", clSilver},
      {"clRed", clRed},
      {"clLime", clLime},
      {"clYellow", clYellow},
      {"clBlue", clBlue},
      {"clFuchsia", clFuchsia},
      {"clAqua", clAqua},
      {"clWhite", clWhite},
      {"clNone", clNone},
      {"clDefault", clDefault},
      {"clScrollBar", clScrollBar},
      {"clBackground", clBackground},
      {"clActiveCaption", clActiveCaption},
      {"clInactiveCaption", clInactiveCaption},
      {"clMenu", clMenu},
      {"clWindow", clWindow},
      {"clWindowFrame", clWindowFrame},
      {"clMenuText", clMenuText},
      {"clWindowText", clWindowText},
      {"clCaptionText", clCaptionText},
      {"clActiveBorder", clActiveBorder},
      {"clInactiveBorder", clInactiveBorder},
      {"clAppWorkSpace", clAppWorkSpace},
      {"clHighlight", clHighlight},
      {"clHighlightText", clHighlightText},
      {"clBtnFace", clBtnFace},
      {"clBtnShadow", clBtnShadow},
      {"clGrayText", clGrayText},
      {"clBtnText", clBtnText},
      {"clInactiveCaptionText", clInactiveCaptionText},
      {"clBtnHighlight", clBtnHighlight},
      {"cl3DDkShadow", cl3DDkShadow},
      {"cl3DLight", cl3DLight},
      {"clInfoText", clInfoText},
      {"clInfoBk", clInfoBk},
  }};
  return map;
}

UINT CharSetToCodePage(TFontCharset charset) {
  switch (charset) {
    case ANSI_CHARSET:
    case SYMBOL_CHARSET:
      return 1252;
    case MAC_CHARSET:
      return 10000;
    case SHIFTJIS_CHARSET:
      return 932;
    case HANGEUL_CHARSET:
      return 949;
    case JOHAB_CHARSET:
      return 1361;
    case GB2312_CHARSET:
      return 936;
    case CHINESEBIG5_CHARSET:
      return 950;
    case GREEK_CHARSET:
      return 1253;
    case TURKISH_CHARSET:
      return 1254;
    case VIETNAMESE_CHARSET:
      return 1258;
    case HEBREW_CHARSET:
      return 1255;
    case ARABIC_CHARSET:
      return 1256;
    case BALTIC_CHARSET:
      return 1257;
    case RUSSIAN_CHARSET:
      return 1251;
    case THAI_CHARSET:
      return 874;
    case EASTEUROPE_CHARSET:
      return 1250;
    case OEM_CHARSET:
      return 437;
    default:
      return GetACP();
  }
}

const TIdentMap& CharSetIdents() {
  static const TIdentMap map{{
      {"ANSI_CHARSET", ANSI_CHARSET},
      {"DEFAULT_CHARSET", DEFAULT_CHARSET},
      {"SYMBOL_CHARSET", SYMBOL_CHARSET},
      {"MAC_CHARSET", MAC_CHARSET},
      {"SHIFTJIS_CHARSET", SHIFTJIS_CHARSET},
      {"HANGEUL_CHARSET", HANGEUL_CHARSET},
      {"JOHAB_CHARSET", JOHAB_CHARSET},
      {"GB2312_CHARSET", GB2312_CHARSET},
      {"CHINESEBIG5_CHARSET", CHINESEBIG5_CHARSET},
      {"GREEK_CHARSET", GREEK_CHARSET},
      {"TURKISH_CHARSET", TURKISH_CHARSET},
      {"VIETNAMESE_CHARSET", VIETNAMESE_CHARSET},
      {"HEBREW_CHARSET", HEBREW_CHARSET},
      {"ARABIC_CHARSET", ARABIC_CHARSET},
      {"BALTIC_CHARSET", BALTIC_CHARSET},
      {"RUSSIAN_CHARSET", RUSSIAN_CHARSET},
      {"THAI_CHARSET", THAI_CHARSET},
      {"EASTEUROPE_CHARSET", EASTEUROPE_CHARSET},
      {"OEM_CHARSET", OEM_CHARSET},
  }};
  return map;
}

std::string ScreenFontFamily(std::string_view utf8Name, UINT codePage, std::string_view utf8Text) {
  struct TAlias {
    const char* Windows;
    const char* Screen;
  };
  // Chinese names as UTF-8: 新細明體, 細明體, 標楷體.
  static const TAlias aliases[] = {
      {"MS Sans Serif", "Sans"},
      {"Microsoft Sans Serif", "Sans"},
      {"Arial", "Sans"},
      {"Tahoma", "Sans"},
      {"Verdana", "Sans"},
      {"Segoe UI", "Sans"},
      {"System", "Sans"},
      {"MS Serif", "Serif"},
      {"Times New Roman", "Serif"},
      {"Courier New", "Monospace"},
      {"Courier", "Monospace"},
      {"Fixedsys", "Monospace"},
      {"PMingLiU", kChineseScreenFont},
      {"MingLiU", kChineseScreenFont},
      {"\xE6\x96\xB0\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94", kChineseScreenFont},
      {"\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94", kChineseScreenFont},
      {"\xE6\xA8\x99\xE6\xA5\xB7\xE9\xAB\x94", "AR PL UKai TW"},
  };
  std::string family = utf8Name.empty() ? std::string("Sans") : std::string(utf8Name);
  for (auto& alias : aliases)
    if (SameTextAscii(alias.Windows, utf8Name)) family = alias.Screen;
  bool chinese = false;
  if (codePage == 950)
    for (char c : utf8Text)
      if (static_cast<unsigned char>(c) >= 0x80) chinese = true;
  if (chinese && family != kChineseScreenFont)
    family = std::string(kChineseScreenFont) + ", " + family;
  return family;
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TFont::StaticClass() {
  static const TEnumInfo styles{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
  static const TEnumInfo pitches{"TFontPitch", {"fpDefault", "fpVariable", "fpFixed"}};
  static const TClassRecord record =
      TClassRecord::Define<TFont, TPersistent>("TFont", [](TClassBuilder<TFont>& c) {
        c.Int("CharSet", &TFont::CharSet, &TFont::SetCharSet).WithIdents(CharSetIdents());
        c.Int("Color", &TFont::Color, &TFont::SetColor).WithIdents(ColorIdents());
        c.Int("Height", &TFont::Height, &TFont::SetHeight);
        c.Str("Name", &TFont::Name, &TFont::SetName);
        c.Enum("Pitch", &TFont::Pitch, &TFont::SetPitch, pitches).Default(fpDefault);
        c.Int("Size", &TFont::Size, &TFont::SetSize).NotStored();
        c.Set("Style", &TFont::Style, &TFont::SetStyle, styles).Default(0);
      });
  return record;
}

void TFont::Changed() {
  if (FUpdating) return;
  OnChange(this);
  if (FObserver) FObserver();
}

void TFont::SetName(const std::string& name) {
  if (name.empty() || name == FName) return;
  FName = name;
  Changed();
}

void TFont::SetHeight(int height) {
  if (height == FHeight) return;
  FHeight = height;
  Changed();
}

#ifndef _WIN32
namespace {
// Windows' MulDiv: rounded half away from zero.
int MulDiv(int a, int b, int c) {
  return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}
}  // namespace
#endif

int TFont::Size() const {
  return -MulDiv(FHeight, 72, kPixelsPerInch);
}

void TFont::SetSize(int points) {
  SetHeight(-MulDiv(points, kPixelsPerInch, 72));
}

int TFont::PixelHeight() const {
  return FHeight < 0 ? -FHeight : (FHeight * 4 + 2) / 5;  // a cell is about 1.25 em
}

void TFont::SetStyle(TFontStyles style) {
  if (style == FStyle) return;
  FStyle = style;
  Changed();
}

void TFont::SetColor(TColor color) {
  if (color == FColor) return;
  FColor = color;
  Changed();
}

void TFont::SetCharSet(TFontCharset charset) {
  if (charset == FCharSet) return;
  FCharSet = charset;
  Changed();
}

void TFont::SetPitch(TFontPitch pitch) {
  if (pitch == FPitch) return;
  FPitch = pitch;
  Changed();
}

bool TFont::SameAs(const TFont& o) const {
  return FName == o.FName && FHeight == o.FHeight && FStyle == o.FStyle && FColor == o.FColor &&
         FCharSet == o.FCharSet && FPitch == o.FPitch;
}

void TFont::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TFont*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  if (SameAs(*other)) return;
  ++FUpdating;
  FName = other->FName;
  FHeight = other->FHeight;
  FStyle = other->FStyle;
  FColor = other->FColor;
  FCharSet = other->FCharSet;
  FPitch = other->FPitch;
  --FUpdating;
  Changed();
}

// ---------------------------------------------------------------------------------------------

const TClassRecord& TBitmap::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TBitmap, TPersistent>("TBitmap", [](TClassBuilder<TBitmap>& c) {
        c.Str("Resource", &TBitmap::ResourceName, &TBitmap::SetResourceName);
      });
  return record;
}

void TBitmap::Changed() {
  OnChange(this);
  if (FObserver) FObserver();
}

void TBitmap::LoadFromBytes(std::string bytes) {
  static const char signature[] = "\x89PNG\r\n\x1A\n";
  // Signature, then the IHDR chunk: length, "IHDR", width and height (big-endian).
  if (bytes.size() < 24 || bytes.compare(0, 8, signature, 8) != 0 ||
      bytes.compare(12, 4, "IHDR") != 0)
    throw EInvalidGraphic("Bitmap image is not valid");
  auto be32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  std::uint32_t w = be32(16);
  std::uint32_t h = be32(20);
  if (w == 0 || h == 0 || w > 32768 || h > 32768)
    throw EInvalidGraphic("Bitmap image is not valid");
  FData = std::move(bytes);
  FWidth = static_cast<int>(w);
  FHeight = static_cast<int>(h);
  FResourceName.clear();
  Changed();
}

void TBitmap::LoadFromFile(const std::string& fileName) {
  std::string host = platform::ToHostPath(fileName);
  std::ifstream in(host.empty() ? fileName : host, std::ios::binary);
  if (!in)
    throw platform::EFOpenError("Cannot open file \"" + fileName + "\"", ERROR_FILE_NOT_FOUND);
  LoadFromBytes(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

void TBitmap::LoadFromResourceName(const std::string& name) {
  HRSRC found = FindResourceA(nullptr, name.c_str(), RT_RCDATA);
  if (!found) throw EInvalidGraphic("Resource " + name + " not found");
  auto* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  LoadFromBytes(std::string(data, SizeofResource(nullptr, found)));
  FResourceName = name;
}

void TBitmap::SetResourceName(const std::string& name) {
  if (name.empty()) {
    Clear();
    return;
  }
  LoadFromResourceName(name);
}

void TBitmap::Clear() {
  if (FData.empty() && FResourceName.empty()) return;
  FData.clear();
  FResourceName.clear();
  FWidth = FHeight = 0;
  Changed();
}

void TBitmap::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TBitmap*>(source);
  if (!other) {
    if (!source) {
      Clear();
      return;
    }
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  FData = other->FData;
  FResourceName = other->FResourceName;
  FWidth = other->FWidth;
  FHeight = other->FHeight;
  Changed();
}

const TClassRecord& TPicture::StaticClass() {
  static const TClassRecord record =
      TClassRecord::Define<TPicture, TBitmap>("TPicture", [](TClassBuilder<TPicture>&) {});
  return record;
}
