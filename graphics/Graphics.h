// The drawing vocabulary: colours with their named system colours, font
// character sets and cursors by name, fonts, pens and brushes whose platform
// handles are shared between all objects with equal attributes, and the canvas
// that selects those handles into a device context when a drawing operation
// needs them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/ClassInfo.h"
#include "core/Persistent.h"
#include "core/TypeInfo.h"

// <windows.h> maps TextOut to TextOutA; the canvas has an operation of that name.
#ifdef TextOut
#undef TextOut
#endif

namespace tw {

// ---- Colours ---------------------------------------------------------------

// 0x00BBGGRR for a direct colour, 0x80000000 + n for platform system colour n.
using TColor = std::int32_t;

inline constexpr TColor SystemColor(std::uint32_t index) { return static_cast<TColor>(0x80000000u | index); }

inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clMaroon = 0x00000080;
inline constexpr TColor clGreen = 0x00008000;
inline constexpr TColor clOlive = 0x00008080;
inline constexpr TColor clNavy = 0x00800000;
inline constexpr TColor clPurple = 0x00800080;
inline constexpr TColor clTeal = 0x00808000;
inline constexpr TColor clGray = 0x00808080;
inline constexpr TColor clSilver = 0x00C0C0C0;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clLime = 0x0000FF00;
inline constexpr TColor clYellow = 0x0000FFFF;
inline constexpr TColor clBlue = 0x00FF0000;
inline constexpr TColor clFuchsia = 0x00FF00FF;
inline constexpr TColor clAqua = 0x00FFFF00;
inline constexpr TColor clWhite = 0x00FFFFFF;
inline constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR);
inline constexpr TColor clBackground = SystemColor(COLOR_BACKGROUND);
inline constexpr TColor clActiveCaption = SystemColor(COLOR_ACTIVECAPTION);
inline constexpr TColor clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION);
inline constexpr TColor clMenu = SystemColor(COLOR_MENU);
inline constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
inline constexpr TColor clWindowFrame = SystemColor(COLOR_WINDOWFRAME);
inline constexpr TColor clMenuText = SystemColor(COLOR_MENUTEXT);
inline constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
inline constexpr TColor clCaptionText = SystemColor(COLOR_CAPTIONTEXT);
inline constexpr TColor clActiveBorder = SystemColor(COLOR_ACTIVEBORDER);
inline constexpr TColor clInactiveBorder = SystemColor(COLOR_INACTIVEBORDER);
inline constexpr TColor clAppWorkSpace = SystemColor(COLOR_APPWORKSPACE);
inline constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
inline constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
inline constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
inline constexpr TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);
inline constexpr TColor clGrayText = SystemColor(COLOR_GRAYTEXT);
inline constexpr TColor clBtnText = SystemColor(COLOR_BTNTEXT);
inline constexpr TColor clInactiveCaptionText = SystemColor(COLOR_INACTIVECAPTIONTEXT);
inline constexpr TColor clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
inline constexpr TColor cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW);
inline constexpr TColor cl3DLight = SystemColor(COLOR_3DLIGHT);
inline constexpr TColor clInfoText = SystemColor(COLOR_INFOTEXT);
inline constexpr TColor clInfoBk = SystemColor(COLOR_INFOBK);
inline constexpr TColor clNone = 0x1FFFFFFF;

// The platform colour: a system colour becomes GetSysColor of its low byte;
// any other value is returned unchanged (clNone passes through).
COLORREF ColorToRGB(TColor color);

// ---- Character sets and cursors ---------------------------------------------

// ANSI_CHARSET, SHIFTJIS_CHARSET ... are the platform's own constants.
using TFontCharset = std::uint8_t;

// A cursor: the framework's negative ids for the platform cursors, 0 for the
// control's default.
using TCursor = std::int16_t;

inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crMultiDrag = -16;
inline constexpr TCursor crSQLWait = -17;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;
inline constexpr TCursor crSize = crSizeAll;

// The integer type records of the three types, so that published properties of
// these types find their identifier maps (registered for exactly these records).
const TTypeInfo& ColorTypeInfo();        // "TColor", 32-bit signed
const TTypeInfo& FontCharsetTypeInfo();  // "TFontCharset", owUByte
const TTypeInfo& CursorTypeInfo();       // "TCursor", owSWord

// Registers the colour and character-set maps; the cursor map separately (the
// control layer's start-up). Each registers once however often it is called.
void RegisterGraphicsIdentMaps();
void RegisterCursorIdentMap();

// Table lookups: a name (ASCII letters without case) to its value, and a value
// to the name of its first table entry; nothing when there is none.
std::optional<std::int32_t> ColorFromName(std::string_view name);
std::optional<std::string_view> ColorName(TColor color);
std::optional<std::int32_t> CharsetFromName(std::string_view name);
std::optional<std::string_view> CharsetName(TFontCharset charset);
std::optional<std::int32_t> CursorFromName(std::string_view name);
std::optional<std::string_view> CursorName(TCursor cursor);

// The screen's vertical resolution (LOGPIXELSY), read once.
int ScreenPixelsPerInch();

// The character set a font of this one is made with. The texts are bytes in
// the process's ANSI code page, and the graphics layer converts the bytes it
// draws by the code page of the font's character set. When the process's code
// page is not the system's (a manifest asked for 932 on a system of another
// language), every font but a symbol font is made with the character set of
// the process's code page (SHIFTJIS_CHARSET for 932); otherwise the font keeps
// its own.
TFontCharset PlatformCharset(TFontCharset charset);

// ---- Enumerations of the graphics objects -------------------------------------

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle, std::uint8_t>;
enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };
enum TPenStyle : std::uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode : std::uint8_t {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};
// Distinct from the form border style names (bsNone, bsSingle, bsSizeable,
// bsDialog, bsToolWindow, bsSizeToolWin), which share the namespace.
enum TBrushStyle : std::uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

TW_ENUMERATION(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
TW_ENUMERATION(TFontPitch, "fpDefault", "fpVariable", "fpFixed")
TW_ENUMERATION(TPenStyle, "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame")
TW_ENUMERATION(TPenMode, "pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot", "pmMaskPenNot",
               "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask", "pmNotMask", "pmXor", "pmNotXor")
TW_ENUMERATION(TBrushStyle, "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal", "bsCross",
               "bsDiagCross")

// ---- Graphics objects -----------------------------------------------------------

namespace detail {
// A shared resource record of one of the three caches (defined in the source).
struct TResourceRecord;
}  // namespace detail

class TCanvas;

// A font, pen or brush: a reference to a shared resource record holding its
// attributes and platform handle, and its change callback.
class TGraphicsObject : public TPersistent {
  TW_PUBLISHED_CLASS(TGraphicsObject, TPersistent)

 public:
  ~TGraphicsObject() override;

  // Fired by the change step with this object as sender.
  TNotifyEvent OnChange;

 protected:
  TGraphicsObject() = default;

  // The change step; TFont also tells its notifier.
  virtual void Changed();

  // Enters and leaves the lock lent by the owning canvas, if any.
  void Lock() const;
  void Unlock() const;

  detail::TResourceRecord* resource_ = nullptr;

 private:
  friend class TCanvas;
  friend struct GraphicsObjectAccess;
  std::recursive_mutex* ownerLock_ = nullptr;
};

// Told of every change of a font besides OnChange.
class TChangeNotifier {
 public:
  virtual void Changed() = 0;

 protected:
  ~TChangeNotifier() = default;
};

class TFont : public TGraphicsObject {
  TW_PUBLISHED_CLASS(TFont, TGraphicsObject)

 public:
  // The default font data, colour clWindowText, the screen's resolution.
  TFont();
  ~TFont() override;

  // The platform font of the attributes, created on first request (0 when it
  // cannot be made; tried again next time). A handle given is adopted: its
  // attributes are read back and it is deleted when its last user lets go.
  HFONT Handle() const;
  void SetHandle(HFONT handle);

  // Pixels; negative for the character height.
  std::int32_t Height() const;
  void SetHeight(std::int32_t height);
  // Points at PixelsPerInch.
  std::int32_t Size() const;
  void SetSize(std::int32_t size);
  // "Default" (any letter case) stands for the default face. An empty name is
  // ignored; a longer one is cut to 31 bytes, never inside a double-byte
  // character.
  std::string Name() const;
  void SetName(std::string_view name);
  TFontStyles Style() const;
  void SetStyle(TFontStyles style);
  TFontPitch Pitch() const;
  void SetPitch(TFontPitch pitch);
  TFontCharset Charset() const;
  void SetCharset(TFontCharset charset);
  // Not part of the shared record: applied by each canvas that draws with it.
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(std::int32_t pixelsPerInch) { pixelsPerInch_ = pixelsPerInch; }

  // None: no notifier.
  void SetNotifier(TChangeNotifier* notifier) { notifier_ = notifier; }

  // Shares another font's record and takes its colour (and its point size
  // when the resolutions differ); anything else is the generic assignment.
  void AssignFrom(const TPersistent* source) override;
  // The same record (so the same attributes) and the same colour.
  bool SameAttributes(const TFont& other) const;

 protected:
  void Changed() override;

 private:
  TColor color_ = clWindowText;
  std::int32_t pixelsPerInch_;
  TChangeNotifier* notifier_ = nullptr;
};

class TPen : public TGraphicsObject {
  TW_PUBLISHED_CLASS(TPen, TGraphicsObject)

 public:
  // clBlack, width 1, psSolid, pmCopy.
  TPen();
  ~TPen() override;

  HPEN Handle() const;

  TColor Color() const;
  void SetColor(TColor color);
  // A negative width is ignored.
  std::int32_t Width() const;
  void SetWidth(std::int32_t width);
  TPenStyle Style() const;
  void SetStyle(TPenStyle style);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode mode);

  void AssignFrom(const TPersistent* source) override;

 private:
  TPenMode mode_ = pmCopy;
};

class TBrush : public TGraphicsObject {
  TW_PUBLISHED_CLASS(TBrush, TGraphicsObject)

 public:
  // clWhite, bsSolid.
  TBrush();
  ~TBrush() override;

  HBRUSH Handle() const;

  TColor Color() const;
  // A colour given to a bsClear brush also makes it bsSolid.
  void SetColor(TColor color);
  TBrushStyle Style() const;
  void SetStyle(TBrushStyle style);

  void AssignFrom(const TPersistent* source) override;
};

// ---- Canvas -----------------------------------------------------------------

// A device context with its own font, pen and brush, selected into it only when
// a drawing operation needs them.
class TCanvas : public TPersistent {
  TW_CLASS(TCanvas, TPersistent)

 public:
  TCanvas();
  ~TCanvas() override;

  // The device context with font, pen and brush selected; made by CreateHandle
  // when there is none, else EInvalidOperation (65517).
  HDC Handle();
  // Gives up the present context (stock objects selected back into it, the pen
  // position kept) and adopts the new one (0: none) at the kept pen position.
  void SetHandle(HDC dc);
  bool HandleAllocated() const { return dc_ != nullptr; }

  TFont* Font() const { return font_.get(); }
  TPen* Pen() const { return pen_.get(); }
  TBrush* Brush() const { return brush_.get(); }
  // Assigned into the canvas's own objects; the canvas never keeps the caller's.
  void SetFont(const TFont* font);
  void SetPen(const TPen* pen);
  void SetBrush(const TBrush* brush);

  // The platform's copy mode for copying operations (SRCCOPY).
  DWORD CopyMode = SRCCOPY;

  void FillRect(const RECT& rect);
  // A one-pixel border just inside the rectangle, in the brush.
  void FrameRect(const RECT& rect);
  void TextOut(int x, int y, std::string_view text);
  SIZE TextExtent(std::string_view text);
  int TextWidth(std::string_view text);
  int TextHeight(std::string_view text);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  POINT PenPos();

  void Lock();
  // Locks only when no one holds the canvas; reports whether it did.
  bool TryLock();
  void Unlock();
  int LockCount() const;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;  // before a drawing operation
  // ETO_RTLREADING on a right-to-left canvas: text then grows leftwards from x.
  int TextFlags = 0;

 protected:
  // Makes the device context when one is needed: a plain canvas has none; a
  // control canvas gets its control's and adopts it with SetHandle.
  virtual void CreateHandle() {}

  // Selects the stock objects back into the context (when any of ours is
  // selected), so that ours can be changed or deleted.
  void DeselectHandles();

  // The states a drawing operation needs, made when missing.
  enum TCanvasState : std::uint8_t { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
  void RequireState(std::uint8_t needed);

  void Changing();
  void Changed();

 private:
  void FontChanged(TObject* sender);
  void PenChanged(TObject* sender);
  void BrushChanged(TObject* sender);
  bool RightToLeft() const { return (TextFlags & ETO_RTLREADING) != 0; }

  friend void SystemColorsChanged();

  HDC dc_ = nullptr;
  std::uint8_t state_ = 0;
  POINT penPos_{0, 0};
  int lockCount_ = 0;
  std::recursive_mutex lock_;
  std::unique_ptr<TFont> font_;
  std::unique_ptr<TPen> pen_;
  std::unique_ptr<TBrush> brush_;
};

// The system colours changed: every canvas gives up its selected objects and
// the pens and brushes of system colours drop their handles, to be remade in
// the new colours on next use. Fonts keep theirs (their colour is applied per
// canvas).
void SystemColorsChanged();

// For tests: the live records of each cache, to see sharing and release.
std::size_t FontRecordCount();
std::size_t PenRecordCount();
std::size_t BrushRecordCount();

}  // namespace tw
