// Colours, character sets, fonts and pictures of the controls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/class_record.h"
#include "forms/events.h"
#include "forms/object.h"
#include "forms/set.h"
#include "platform/wintypes.h"

// Colours: 0x00BBGGRR, or a system colour (high bit set, low byte the system colour number).
using TColor = std::int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor SystemColor(int index) {
  return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index));
}
inline constexpr TColor clScrollBar = SystemColor(0);
inline constexpr TColor clBackground = SystemColor(1);
inline constexpr TColor clActiveCaption = SystemColor(2);
inline constexpr TColor clInactiveCaption = SystemColor(3);
inline constexpr TColor clMenu = SystemColor(4);
inline constexpr TColor clWindow = SystemColor(5);
inline constexpr TColor clWindowFrame = SystemColor(6);
inline constexpr TColor clMenuText = SystemColor(7);
inline constexpr TColor clWindowText = SystemColor(8);
inline constexpr TColor clCaptionText = SystemColor(9);
inline constexpr TColor clActiveBorder = SystemColor(10);
inline constexpr TColor clInactiveBorder = SystemColor(11);
inline constexpr TColor clAppWorkSpace = SystemColor(12);
inline constexpr TColor clHighlight = SystemColor(13);
inline constexpr TColor clHighlightText = SystemColor(14);
inline constexpr TColor clBtnFace = SystemColor(15);
inline constexpr TColor clBtnShadow = SystemColor(16);
inline constexpr TColor clGrayText = SystemColor(17);
inline constexpr TColor clBtnText = SystemColor(18);
inline constexpr TColor clInactiveCaptionText = SystemColor(19);
inline constexpr TColor clBtnHighlight = SystemColor(20);
inline constexpr TColor cl3DDkShadow = SystemColor(21);
inline constexpr TColor cl3DLight = SystemColor(22);
inline constexpr TColor clInfoText = SystemColor(23);
inline constexpr TColor clInfoBk = SystemColor(24);

bool IsSystemColor(TColor color);
// 0x00BBGGRR; system colours as a classic Windows desktop shows them.
std::uint32_t ColorToRGB(TColor color);
// The names of colours in descriptions (clBlue, clBtnFace ...).
const TIdentMap& ColorIdents();

// Character sets of fonts, as Windows numbers them.
using TFontCharset = BYTE;
// Windows' own headers define these already.
#ifndef _WIN32
inline constexpr TFontCharset ANSI_CHARSET = 0;
inline constexpr TFontCharset DEFAULT_CHARSET = 1;
inline constexpr TFontCharset SYMBOL_CHARSET = 2;
inline constexpr TFontCharset MAC_CHARSET = 77;
inline constexpr TFontCharset SHIFTJIS_CHARSET = 128;
inline constexpr TFontCharset HANGEUL_CHARSET = 129;
inline constexpr TFontCharset JOHAB_CHARSET = 130;
inline constexpr TFontCharset GB2312_CHARSET = 134;
inline constexpr TFontCharset CHINESEBIG5_CHARSET = 136;
inline constexpr TFontCharset GREEK_CHARSET = 161;
inline constexpr TFontCharset TURKISH_CHARSET = 162;
inline constexpr TFontCharset VIETNAMESE_CHARSET = 163;
inline constexpr TFontCharset HEBREW_CHARSET = 177;
inline constexpr TFontCharset ARABIC_CHARSET = 178;
inline constexpr TFontCharset BALTIC_CHARSET = 186;
inline constexpr TFontCharset RUSSIAN_CHARSET = 204;
inline constexpr TFontCharset THAI_CHARSET = 222;
inline constexpr TFontCharset EASTEUROPE_CHARSET = 238;
inline constexpr TFontCharset OEM_CHARSET = 255;
#endif

// The code page in which text of a font with this character set is held: 136 is 950 (Big5),
// DEFAULT_CHARSET the system ANSI code page (950 here), ANSI_CHARSET 1252.
UINT CharSetToCodePage(TFontCharset charset);
const TIdentMap& CharSetIdents();

// The family the screen uses for a Windows font name: "MS Sans Serif" and the other sans
// faces map to "Sans", the Ming faces (PMingLiU, MingLiU and their Chinese names) to
// "AR PL UMing TW". Text that is Chinese (non-ASCII in code page 950) is drawn with
// "AR PL UMing TW" first, so that the Traditional forms of the glyphs are used.
// `utf8Name` and `utf8Text` are UTF-8.
std::string ScreenFontFamily(std::string_view utf8Name, UINT codePage, std::string_view utf8Text);
inline constexpr const char* kChineseScreenFont = "AR PL UMing TW";

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

class TFont : public TPersistent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  static constexpr int kPixelsPerInch = 96;

  TFont() = default;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name);
  // Negative: character height in pixels; positive: cell height.
  int Height() const { return FHeight; }
  void SetHeight(int height);
  int Size() const;  // points
  void SetSize(int points);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles style);
  TColor Color() const { return FColor; }
  void SetColor(TColor color);
  TFontCharset CharSet() const { return FCharSet; }
  void SetCharSet(TFontCharset charset);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch pitch);
  // Pixels of the character height, whichever way Height is given.
  int PixelHeight() const;

  void Assign(const TPersistent* source) override;
  bool SameAs(const TFont& other) const;

  TNotifyEvent OnChange;
  // For the control that uses the font.
  void SetObserver(std::function<void()> observer) { FObserver = std::move(observer); }

 private:
  void Changed();

  std::string FName = "MS Sans Serif";
  int FHeight = -11;
  TFontStyles FStyle;
  TColor FColor = clWindowText;
  TFontCharset FCharSet = DEFAULT_CHARSET;
  TFontPitch FPitch = fpDefault;
  int FUpdating = 0;
  std::function<void()> FObserver;
};

class EInvalidGraphic : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

// A picture held as PNG bytes: the widget set decodes it, the model knows its size.
class TBitmap : public TPersistent {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }

  TBitmap() = default;

  bool Empty() const { return FData.empty(); }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  const std::string& Data() const { return FData; }
  // Raise EInvalidGraphic for bytes that are not a PNG image.
  void LoadFromBytes(std::string bytes);
  void LoadFromFile(const std::string& fileName);
  // RCDATA resource of the program; its name is kept as the picture's Resource property, so
  // that a description stores it by name.
  void LoadFromResourceName(const std::string& name);
  const std::string& ResourceName() const { return FResourceName; }
  void SetResourceName(const std::string& name);
  void Clear();

  void Assign(const TPersistent* source) override;

  TNotifyEvent OnChange;
  void SetObserver(std::function<void()> observer) { FObserver = std::move(observer); }

 private:
  void Changed();

  std::string FData;
  std::string FResourceName;
  int FWidth = 0;
  int FHeight = 0;
  std::function<void()> FObserver;
};

// The picture of an image control.
class TPicture : public TBitmap {
 public:
  static const TClassRecord& StaticClass();
  const TClassRecord& ClassType() const override { return StaticClass(); }
};
