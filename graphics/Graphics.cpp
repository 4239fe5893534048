// Colours, character sets and cursors by name, and the screen facts the fonts
// are built on.
#include "graphics/Graphics.h"

#include <limits>
#include <mutex>

#include "core/PropertyAccess.h"

namespace tw {

namespace {

// Value-to-name lookups take the first entry of a value, so the table order
// decides which name a value is written back with.
constexpr TIdentMapEntry kColors[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clNone, "clNone"},
};
static_assert(std::size(kColors) == 42);

constexpr TIdentMapEntry kCharsets[] = {
    {ANSI_CHARSET, "ANSI_CHARSET"},
    {DEFAULT_CHARSET, "DEFAULT_CHARSET"},
    {SYMBOL_CHARSET, "SYMBOL_CHARSET"},
    {MAC_CHARSET, "MAC_CHARSET"},
    {SHIFTJIS_CHARSET, "SHIFTJIS_CHARSET"},
    {HANGEUL_CHARSET, "HANGEUL_CHARSET"},
    {JOHAB_CHARSET, "JOHAB_CHARSET"},
    {GB2312_CHARSET, "GB2312_CHARSET"},
    {CHINESEBIG5_CHARSET, "CHINESEBIG5_CHARSET"},
    {GREEK_CHARSET, "GREEK_CHARSET"},
    {TURKISH_CHARSET, "TURKISH_CHARSET"},
    {HEBREW_CHARSET, "HEBREW_CHARSET"},
    {ARABIC_CHARSET, "ARABIC_CHARSET"},
    {BALTIC_CHARSET, "BALTIC_CHARSET"},
    {RUSSIAN_CHARSET, "RUSSIAN_CHARSET"},
    {THAI_CHARSET, "THAI_CHARSET"},
    {EASTEUROPE_CHARSET, "EASTEUROPE_CHARSET"},
    {OEM_CHARSET, "OEM_CHARSET"},
};
static_assert(std::size(kCharsets) == 18);

// crSize is an older name of crSizeAll: it is read, but the value is written
// back as crSizeAll, which comes first.
constexpr TIdentMapEntry kCursors[] = {
    {crDefault, "crDefault"},     {crNone, "crNone"},           {crArrow, "crArrow"},
    {crCross, "crCross"},         {crIBeam, "crIBeam"},         {crSizeNESW, "crSizeNESW"},
    {crSizeNS, "crSizeNS"},       {crSizeNWSE, "crSizeNWSE"},   {crSizeWE, "crSizeWE"},
    {crUpArrow, "crUpArrow"},     {crHourGlass, "crHourGlass"}, {crDrag, "crDrag"},
    {crNoDrop, "crNoDrop"},       {crHSplit, "crHSplit"},       {crVSplit, "crVSplit"},
    {crMultiDrag, "crMultiDrag"}, {crSQLWait, "crSQLWait"},     {crNo, "crNo"},
    {crAppStart, "crAppStart"},   {crHelp, "crHelp"},           {crHandPoint, "crHandPoint"},
    {crSizeAll, "crSizeAll"},     {crSize, "crSize"},
};

// The registered value-to-name functions see any 32-bit value; one outside a
// type's range has no name.
std::optional<std::string_view> CharsetNameOfValue(std::int32_t value) {
  if (value < 0 || value > 255) return std::nullopt;
  return ValueToIdent(value, kCharsets);
}

std::optional<std::string_view> CursorNameOfValue(std::int32_t value) {
  if (value < std::numeric_limits<TCursor>::min() || value > std::numeric_limits<TCursor>::max()) return std::nullopt;
  return ValueToIdent(value, kCursors);
}

}  // namespace

COLORREF ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(static_cast<int>(static_cast<std::uint32_t>(color) & 0xFF));
  return static_cast<COLORREF>(color);
}

const TTypeInfo& ColorTypeInfo() {
  static const TTypeInfo info{.kind = TPropKind::pkInteger,
                              .name = "TColor",
                              .width = owSLong,
                              .minValue = std::numeric_limits<std::int32_t>::min(),
                              .maxValue = std::numeric_limits<std::int32_t>::max()};
  return info;
}

const TTypeInfo& FontCharsetTypeInfo() {
  static const TTypeInfo info{
      .kind = TPropKind::pkInteger, .name = "TFontCharset", .width = owUByte, .minValue = 0, .maxValue = 255};
  return info;
}

const TTypeInfo& CursorTypeInfo() {
  static const TTypeInfo info{.kind = TPropKind::pkInteger,
                              .name = "TCursor",
                              .width = owSWord,
                              .minValue = std::numeric_limits<TCursor>::min(),
                              .maxValue = std::numeric_limits<TCursor>::max()};
  return info;
}

std::optional<std::int32_t> ColorFromName(std::string_view name) { return IdentToValue(name, kColors); }
std::optional<std::string_view> ColorName(TColor color) { return ValueToIdent(color, kColors); }
std::optional<std::int32_t> CharsetFromName(std::string_view name) { return IdentToValue(name, kCharsets); }
std::optional<std::string_view> CharsetName(TFontCharset charset) { return CharsetNameOfValue(charset); }
std::optional<std::int32_t> CursorFromName(std::string_view name) { return IdentToValue(name, kCursors); }
std::optional<std::string_view> CursorName(TCursor cursor) { return CursorNameOfValue(cursor); }

void RegisterGraphicsIdentMaps() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterIdentMap(ColorTypeInfo(), ColorFromName, ColorName);
    RegisterIdentMap(FontCharsetTypeInfo(), CharsetFromName, CharsetNameOfValue);
  });
}

void RegisterCursorIdentMap() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterIdentMap(CursorTypeInfo(), CursorFromName, CursorNameOfValue); });
}

int ScreenPixelsPerInch() {
  static const int pixelsPerInch = [] {
    HDC dc = GetDC(nullptr);
    const int value = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc) ReleaseDC(nullptr, dc);
    // Every size conversion divides by it; a screen that cannot be asked is
    // taken to be the usual 96.
    return value > 0 ? value : 96;
  }();
  return pixelsPerInch;
}

}  // namespace tw
