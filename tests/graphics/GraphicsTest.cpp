// Colours, character sets and cursors by name; fonts, pens and brushes sharing
// platform handles; the canvas selecting them on demand. Run on the real
// platform (Wine with the project's prefix: code page 932, the Ume faces mapped
// for the Japanese system faces).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Component.h"
#include "core/FormLoading.h"
#include "core/PropertyAccess.h"
#include "core/Reader.h"
#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"
#include "tests/core/FormBytes.h"

namespace tw {
namespace {

using test::Sjis;

const std::string kJapaneseFace = Sjis("ＭＳ Ｐゴシック");

LOGFONTA LogFontOf(HFONT font) {
  LOGFONTA log{};
  EXPECT_EQ(GetObjectA(font, sizeof log, &log), static_cast<int>(sizeof log));
  return log;
}

// Counts the change notifications an object sends, in order with other events.
class TRecorder : public TObject {
 public:
  void Changed(TObject* sender) { log.push_back(sender == watched ? "change" : "change(other)"); }
  void Changing(TObject*) { log.push_back("changing"); }
  const TObject* watched = nullptr;
  std::vector<std::string> log;
};

// ---- Identifier maps --------------------------------------------------------------

TEST(IdentMapTest, NamesReadThroughTheRegisteredMappers) {
  RegisterGraphicsIdentMaps();
  RegisterGraphicsIdentMaps();  // once is what counts
  RegisterCursorIdentMap();
  struct Case {
    const TTypeInfo& type;
    std::string_view name;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {ColorTypeInfo(), "clRed", 0x000000FF},
      {ColorTypeInfo(), "clScrollBar", static_cast<std::int32_t>(0x80000000)},
      {ColorTypeInfo(), "clBtnFace", static_cast<std::int32_t>(0x8000000F)},
      {ColorTypeInfo(), "clbtnface", static_cast<std::int32_t>(0x8000000F)},
      {ColorTypeInfo(), "clInfoBk", static_cast<std::int32_t>(0x80000018)},
      {ColorTypeInfo(), "clNone", 0x1FFFFFFF},
      {ColorTypeInfo(), "clBtnFaces", std::nullopt},
      {ColorTypeInfo(), "", std::nullopt},
      {FontCharsetTypeInfo(), "SHIFTJIS_CHARSET", 128},
      {FontCharsetTypeInfo(), "shiftjis_charset", 128},
      {FontCharsetTypeInfo(), "MAC_CHARSET", 77},
      {FontCharsetTypeInfo(), "OEM_CHARSET", 255},
      {FontCharsetTypeInfo(), "clRed", std::nullopt},
      {CursorTypeInfo(), "crDefault", 0},
      {CursorTypeInfo(), "crArrow", -2},
      {CursorTypeInfo(), "CRHANDPOINT", -21},
      {CursorTypeInfo(), "crSize", -22},
      {CursorTypeInfo(), "SHIFTJIS_CHARSET", std::nullopt},
  };
  for (const Case& c : cases) {
    const TIdentToIntFn toInt = FindIdentMapper(c.type);
    ASSERT_NE(toInt, nullptr) << c.type.name;
    EXPECT_EQ(toInt(c.name), c.value) << c.type.name << " " << c.name;
  }
}

TEST(IdentMapTest, ValuesWriteBackAsTheirFirstNameOrAsNumbers) {
  RegisterGraphicsIdentMaps();
  RegisterCursorIdentMap();
  struct Case {
    const TTypeInfo& type;
    std::int32_t value;
    std::optional<std::string_view> name;
  };
  const Case cases[] = {
      {ColorTypeInfo(), 0x000000FF, "clRed"},
      {ColorTypeInfo(), static_cast<std::int32_t>(0x8000000F), "clBtnFace"},
      {ColorTypeInfo(), 0x1FFFFFFF, "clNone"},
      {ColorTypeInfo(), 0x00123456, std::nullopt},
      {ColorTypeInfo(), static_cast<std::int32_t>(0x80000019), std::nullopt},
      {FontCharsetTypeInfo(), 128, "SHIFTJIS_CHARSET"},
      {FontCharsetTypeInfo(), 3, std::nullopt},
      {FontCharsetTypeInfo(), 128 + 256, std::nullopt},  // not a byte
      {CursorTypeInfo(), -22, "crSizeAll"},              // first of crSizeAll, crSize
      {CursorTypeInfo(), -5, std::nullopt},
      {CursorTypeInfo(), 0x10000 - 2, std::nullopt},  // not a 16-bit value
  };
  for (const Case& c : cases) {
    const TIntToIdentFn toIdent = FindIntToIdent(c.type);
    ASSERT_NE(toIdent, nullptr) << c.type.name;
    EXPECT_EQ(toIdent(c.value), c.name) << c.type.name << " " << c.value;
  }
  // A number where no name is: the reader's integer path.
  EXPECT_EQ(EnumValueOf(ColorTypeInfo(), "1193046"), 0x00123456);
}

TEST(IdentMapTest, EveryNamedValueRoundTripsAndTheTablesAreComplete) {
  int colours = 0;
  for (std::uint32_t v :
       {0x000000u, 0x000080u, 0x008000u, 0x008080u, 0x800000u, 0x800080u, 0x808000u, 0x808080u, 0xC0C0C0u, 0x0000FFu,
        0x00FF00u, 0x00FFFFu, 0xFF0000u, 0xFF00FFu, 0xFFFF00u, 0xFFFFFFu, 0x1FFFFFFFu}) {
    const auto name = ColorName(static_cast<TColor>(v));
    ASSERT_TRUE(name) << std::hex << v;
    EXPECT_EQ(ColorFromName(*name), static_cast<std::int32_t>(v)) << *name;
    ++colours;
  }
  for (std::uint32_t index = 0; index <= 0xFF; ++index) {
    const auto name = ColorName(SystemColor(index));
    EXPECT_EQ(name.has_value(), index <= COLOR_INFOBK) << index;
    if (name) {
      EXPECT_EQ(ColorFromName(*name), SystemColor(index));
      ++colours;
    }
  }
  EXPECT_EQ(colours, 42);

  int charsets = 0;
  for (int v = 0; v <= 255; ++v) {
    if (const auto name = CharsetName(static_cast<TFontCharset>(v))) {
      EXPECT_EQ(CharsetFromName(*name), v);
      ++charsets;
    }
  }
  EXPECT_EQ(charsets, 18);

  int cursors = 0;
  for (int v = -32768; v <= 32767; ++v) {
    if (const auto name = CursorName(static_cast<TCursor>(v))) {
      EXPECT_EQ(CursorFromName(*name), v);
      ++cursors;
    }
  }
  EXPECT_EQ(cursors, 22);
}

TEST(ColorTest, ColorToRGB) {
  struct Case {
    TColor color;
    COLORREF rgb;
  };
  const Case cases[] = {
      {clRed, 0x000000FF},
      {0x00123456, 0x00123456},
      {clNone, 0x1FFFFFFF},
      {clBtnFace, GetSysColor(COLOR_BTNFACE)},
      {clWindowText, GetSysColor(COLOR_WINDOWTEXT)},
      {clInfoBk, GetSysColor(COLOR_INFOBK)},
  };
  for (const Case& c : cases) EXPECT_EQ(ColorToRGB(c.color), c.rgb) << std::hex << c.color;
}

// ---- Fonts ------------------------------------------------------------------------

TEST(FontTest, DefaultFontIsTheJapaneseSystemFaceAtNinePoints) {
  // Code page 932 with the Shift-JIS system font: the double-byte default.
  ASSERT_NE(GetSystemMetrics(SM_DBCSENABLED), 0);
  TFont font;
  EXPECT_EQ(font.Name(), kJapaneseFace);
  EXPECT_EQ(font.Charset(), SHIFTJIS_CHARSET);
  EXPECT_EQ(font.PixelsPerInch(), ScreenPixelsPerInch());
  EXPECT_EQ(font.Height(), -MulDiv(9, ScreenPixelsPerInch(), 72));
  EXPECT_EQ(font.Size(), 9);
  EXPECT_EQ(font.Pitch(), fpDefault);
  EXPECT_TRUE(font.Style().Empty());
  EXPECT_EQ(font.Color(), clWindowText);
}

TEST(FontTest, EqualAttributesShareOneHandleUntilOneChanges) {
  const std::size_t records = FontRecordCount();
  auto a = std::make_unique<TFont>();
  auto b = std::make_unique<TFont>();
  for (TFont* f : {a.get(), b.get()}) {
    f->SetName("Tahoma");
    f->SetHeight(-23);
    f->SetStyle({fsItalic});
  }
  EXPECT_EQ(FontRecordCount(), records + 1);
  const HFONT shared = a->Handle();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(b->Handle(), shared);
  EXPECT_TRUE(a->SameAttributes(*b));

  b->SetHeight(-24);
  EXPECT_EQ(FontRecordCount(), records + 2);
  const HFONT changed = b->Handle();
  EXPECT_NE(changed, shared);
  EXPECT_EQ(a->Handle(), shared);
  EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(LogFontOf(shared).lfHeight, -23);
  EXPECT_EQ(a->Height(), -23);

  b.reset();
  EXPECT_EQ(GetObjectType(changed), 0u);
  EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_FONT));
  a.reset();
  EXPECT_EQ(GetObjectType(shared), 0u);
  EXPECT_EQ(FontRecordCount(), records);
}

TEST(FontTest, ColourIsNoPartOfTheSharedRecord) {
  TFont a, b;
  TRecorder recorder;
  recorder.watched = &a;
  a.OnChange.Bind(&recorder, &TRecorder::Changed);
  const HFONT handle = a.Handle();
  a.SetColor(clRed);
  a.SetColor(clRed);  // unchanged: no second notification
  EXPECT_EQ(a.Handle(), handle);
  EXPECT_EQ(b.Handle(), handle);
  EXPECT_FALSE(a.SameAttributes(b));
  EXPECT_THAT(recorder.log, testing::ElementsAre("change"));
  // Setting an attribute to its present value changes nothing either.
  a.SetName(a.Name());
  a.SetHeight(a.Height());
  EXPECT_EQ(recorder.log.size(), 1u);
}

TEST(FontTest, ThousandFontsCreateAndDeleteTheirHandles) {
  const std::size_t records = FontRecordCount();
  const DWORD gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  std::vector<HFONT> handles;
  {
    std::vector<std::unique_ptr<TFont>> distinct;
    for (int i = 0; i < 1000; ++i) {
      distinct.push_back(std::make_unique<TFont>());
      distinct.back()->SetHeight(-(i + 101));  // none is the default's -12
      handles.push_back(distinct.back()->Handle());
      ASSERT_NE(handles.back(), nullptr);
    }
    EXPECT_EQ(FontRecordCount(), records + 1000);

    std::vector<std::unique_ptr<TFont>> equal;
    for (int i = 0; i < 1000; ++i) {
      equal.push_back(std::make_unique<TFont>());
      equal.back()->SetHeight(-5000);
      EXPECT_EQ(equal.back()->Handle(), equal.front()->Handle());
    }
    handles.push_back(equal.front()->Handle());
    EXPECT_EQ(FontRecordCount(), records + 1001);
  }
  EXPECT_EQ(FontRecordCount(), records);
  int alive = 0;
  for (HFONT h : handles) alive += GetObjectType(h) != 0;
  EXPECT_EQ(alive, 0);
  // Wine reports no count here (always 0); on Windows this sees a leak too.
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiObjects);
}

TEST(FontTest, SizeAndHeightConvertAtTheFontsResolution) {
  struct Case {
    int pixelsPerInch;
    std::int32_t size;
    std::int32_t height;  // what the size gives
    std::int32_t heightIn;
    std::int32_t sizeOut;  // what that height reads back as
  };
  const Case cases[] = {
      {96, 9, -12, -12, 9}, {96, 8, -11, -11, 8}, {96, 10, -13, -16, 12}, {120, 9, -15, -12, 7},
      {72, 9, -9, -12, 12}, {96, 0, 0, 12, -9},   {96, -12, 16, -13, 10},  // a positive height is a cell height
  };
  for (const Case& c : cases) {
    TFont font;
    font.SetPixelsPerInch(c.pixelsPerInch);
    font.SetSize(c.size);
    EXPECT_EQ(font.Height(), c.height) << c.pixelsPerInch << " " << c.size;
    font.SetHeight(c.heightIn);
    EXPECT_EQ(font.Size(), c.sizeOut) << c.pixelsPerInch << " " << c.heightIn;
  }
}

TEST(FontTest, AssignmentSharesTheRecordAndKeepsThePointSize) {
  TFont source;
  source.SetName("Tahoma");
  source.SetHeight(-16);
  source.SetColor(clRed);
  TFont same;
  same.AssignFrom(&source);
  EXPECT_TRUE(same.SameAttributes(source));
  EXPECT_EQ(same.Handle(), source.Handle());

  TFont printer;
  printer.SetPixelsPerInch(300);
  printer.AssignFrom(&source);  // 12 points at 96 dots per inch
  EXPECT_EQ(printer.Size(), 12);
  EXPECT_EQ(printer.Height(), -50);
  EXPECT_EQ(printer.Name(), "Tahoma");
  EXPECT_EQ(printer.Color(), clRed);
  EXPECT_EQ(source.Height(), -16);

  TPen pen;
  EXPECT_THROW(printer.AssignFrom(&pen), EConvertError);
  EXPECT_THROW(printer.AssignFrom(nullptr), EConvertError);
}

TEST(FontTest, NamesAreCutAndEmptyNamesIgnored) {
  struct Case {
    std::string name;
    std::string expected;
  };
  const std::string katakana16 = Sjis("アイウエオカキクケコサシスセソタ");  // 32 bytes
  const Case cases[] = {
      {"Tahoma", "Tahoma"},
      {"", "Tahoma"},
      {std::string(40, 'x'), std::string(31, 'x')},
      {std::string(31, 'y'), std::string(31, 'y')},
      // 31 bytes would end inside the 16th character.
      {katakana16, katakana16.substr(0, 30)},
      {"x" + katakana16, "x" + katakana16.substr(0, 30)},
  };
  TFont font;
  font.SetName("Tahoma");
  for (const Case& c : cases) {
    font.SetName(c.name);
    EXPECT_EQ(font.Name(), c.expected) << c.name;
  }
}

TEST(FontTest, DefaultStandsForTheDefaultFace) {
  const std::string defaultFace = TFont().Name();
  for (const char* name : {"Default", "DEFAULT", "default"}) {
    TFont font;
    font.SetName(name);
    EXPECT_EQ(font.Name(), name);
    EXPECT_STREQ(LogFontOf(font.Handle()).lfFaceName, defaultFace.c_str()) << name;
  }
  TFont other;
  other.SetName("Defaults");
  EXPECT_STREQ(LogFontOf(other.Handle()).lfFaceName, "Defaults");
}

TEST(FontTest, PlatformFontCarriesTheAttributes) {
  struct Case {
    TFontStyles style;
    TFontPitch pitch;
    TFontCharset charset;
    LONG weight;
    BYTE italic, underline, strikeOut, pitchAndFamily;
  };
  const Case cases[] = {
      {{}, fpDefault, DEFAULT_CHARSET, FW_NORMAL, 0, 0, 0, DEFAULT_PITCH},
      {{fsBold}, fpVariable, ANSI_CHARSET, FW_BOLD, 0, 0, 0, VARIABLE_PITCH},
      {{fsItalic, fsUnderline}, fpFixed, SHIFTJIS_CHARSET, FW_NORMAL, 1, 1, 0, FIXED_PITCH},
      {{fsBold, fsStrikeOut}, fpDefault, OEM_CHARSET, FW_BOLD, 0, 0, 1, DEFAULT_PITCH},
  };
  for (const Case& c : cases) {
    TFont font;
    font.SetName("Tahoma");
    font.SetHeight(-17);
    font.SetStyle(c.style);
    font.SetPitch(c.pitch);
    font.SetCharset(c.charset);
    const LOGFONTA log = LogFontOf(font.Handle());
    EXPECT_EQ(log.lfHeight, -17);
    EXPECT_EQ(log.lfWeight, c.weight);
    EXPECT_EQ(log.lfItalic, c.italic);
    EXPECT_EQ(log.lfUnderline, c.underline);
    EXPECT_EQ(log.lfStrikeOut, c.strikeOut);
    EXPECT_EQ(log.lfPitchAndFamily, c.pitchAndFamily);
    EXPECT_EQ(log.lfCharSet, c.charset);
    EXPECT_STREQ(log.lfFaceName, "Tahoma");

    // Adopting the platform font reads the same attributes back.
    TFont copy;
    copy.SetHandle(font.Handle());
    EXPECT_EQ(copy.Style(), c.style);
    EXPECT_EQ(copy.Pitch(), c.pitch);
    EXPECT_EQ(copy.Charset(), c.charset);
    EXPECT_EQ(copy.Height(), -17);
    EXPECT_EQ(copy.Name(), "Tahoma");
  }
}

TEST(FontTest, AdoptedHandlesAreOwnedOnce) {
  const std::size_t records = FontRecordCount();
  // A handle another font already owns is shared, not owned a second time.
  auto owner = std::make_unique<TFont>();
  owner->SetHeight(-31);
  const HFONT handle = owner->Handle();
  auto adopter = std::make_unique<TFont>();
  adopter->SetHandle(handle);
  EXPECT_EQ(adopter->Handle(), handle);
  EXPECT_EQ(adopter->Height(), -31);
  owner.reset();
  EXPECT_EQ(GetObjectType(handle), static_cast<DWORD>(OBJ_FONT));
  adopter.reset();
  EXPECT_EQ(GetObjectType(handle), 0u);

  // A platform font from elsewhere is deleted with its last user.
  LOGFONTA log{};
  log.lfHeight = -19;
  log.lfWeight = FW_HEAVY;
  std::strcpy(log.lfFaceName, "Tahoma");
  const HFONT foreign = CreateFontIndirectA(&log);
  auto a = std::make_unique<TFont>();
  auto b = std::make_unique<TFont>();
  a->SetHandle(foreign);
  b->SetHandle(foreign);
  EXPECT_TRUE(a->Style().Contains(fsBold));
  // Changing an attribute gives the font a platform object of its own.
  b->SetHeight(-20);
  EXPECT_NE(b->Handle(), foreign);
  a.reset();
  EXPECT_EQ(GetObjectType(foreign), 0u);
  b.reset();
  EXPECT_EQ(FontRecordCount(), records);

  // What cannot be read gives the default font.
  TFont bad;
  bad.SetHeight(-40);
  bad.SetHandle(reinterpret_cast<HFONT>(static_cast<std::uintptr_t>(0x1234)));
  EXPECT_EQ(bad.Height(), TFont().Height());
  EXPECT_EQ(bad.Name(), TFont().Name());
}

TEST(FontTest, JapaneseFaceIsTwelvePixelsHigh) {
  TFont font;
  font.SetName(kJapaneseFace);
  font.SetHeight(-12);
  font.SetCharset(SHIFTJIS_CHARSET);
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, font.Handle());
  SIZE size{};
  ASSERT_TRUE(GetTextExtentPoint32A(screen, "0", 1, &size));
  TEXTMETRICA metrics{};
  ASSERT_TRUE(GetTextMetricsA(screen, &metrics));
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(size.cy, 12);
  EXPECT_EQ(metrics.tmHeight, 12);
  EXPECT_EQ(metrics.tmCharSet, SHIFTJIS_CHARSET);
}

// ---- Pens and brushes ----------------------------------------------------------------

TEST(PenBrushTest, AttributesAndTheirPlatformObjects) {
  TPen pen;
  EXPECT_EQ(pen.Color(), clBlack);
  EXPECT_EQ(pen.Width(), 1);
  EXPECT_EQ(pen.Style(), psSolid);
  EXPECT_EQ(pen.Mode(), pmCopy);
  pen.SetWidth(3);
  pen.SetWidth(-1);  // ignored
  pen.SetStyle(psDot);
  pen.SetColor(clRed);
  LOGPEN logPen{};
  ASSERT_EQ(GetObjectA(pen.Handle(), sizeof logPen, &logPen), static_cast<int>(sizeof logPen));
  EXPECT_EQ(logPen.lopnWidth.x, 3);
  EXPECT_EQ(logPen.lopnStyle, static_cast<UINT>(PS_DOT));
  EXPECT_EQ(logPen.lopnColor, 0x000000FFu);

  struct Case {
    TBrushStyle style;
    UINT platformStyle;
    ULONG_PTR hatch;
  };
  const Case cases[] = {
      {bsSolid, BS_SOLID, 0},
      {bsClear, BS_HOLLOW, 0},
      {bsHorizontal, BS_HATCHED, HS_HORIZONTAL},
      {bsBDiagonal, BS_HATCHED, HS_BDIAGONAL},
      {bsDiagCross, BS_HATCHED, HS_DIAGCROSS},
  };
  for (const Case& c : cases) {
    TBrush brush;
    brush.SetColor(clBtnFace);
    brush.SetStyle(c.style);
    LOGBRUSH log{};
    ASSERT_EQ(GetObjectA(brush.Handle(), sizeof log, &log), static_cast<int>(sizeof log));
    EXPECT_EQ(log.lbStyle, c.platformStyle) << c.style;
    if (c.platformStyle == BS_HATCHED) {
      EXPECT_EQ(log.lbHatch, c.hatch) << c.style;
    }
    if (c.platformStyle != BS_HOLLOW) {
      EXPECT_EQ(log.lbColor, GetSysColor(COLOR_BTNFACE)) << c.style;
    }
  }
}

TEST(PenBrushTest, ColourMakesAClearBrushSolid) {
  TBrush brush;
  brush.SetStyle(bsClear);
  brush.SetColor(clRed);
  EXPECT_EQ(brush.Style(), bsSolid);
  brush.SetStyle(bsCross);
  brush.SetColor(clBlue);
  EXPECT_EQ(brush.Style(), bsCross);
}

// ---- Canvas --------------------------------------------------------------------------

// A 16 x 16 memory context holding a white bitmap.
class CanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    oldBitmap_ = SelectObject(dc_, bitmap_);
    const RECT all{0, 0, 16, 16};
    ::FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  void TearDown() override {
    canvas_.reset();
    SelectObject(dc_, oldBitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  TCanvas& Canvas() {
    if (!canvas_) {
      canvas_ = std::make_unique<TCanvas>();
      canvas_->SetHandle(dc_);
    }
    return *canvas_;
  }

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  std::unique_ptr<TCanvas> canvas_;
};

TEST_F(CanvasTest, WithoutAContextEveryDrawingOperationRaises) {
  const std::string message = Sjis("Canvas に対する描画ができません");
  TCanvas canvas;
  const RECT r{0, 0, 1, 1};
  const std::function<void()> operations[] = {
      [&] { canvas.TextHeight("0"); }, [&] { canvas.Handle(); },           [&] { canvas.FillRect(r); },
      [&] { canvas.FrameRect(r); },    [&] { canvas.TextOut(0, 0, "a"); }, [&] { canvas.LineTo(1, 1); },
      [&] { canvas.MoveTo(1, 1); },
  };
  for (const auto& operation : operations) EXPECT_EQ(test::MessageOf<EInvalidOperation>(operation), message);
  EXPECT_FALSE(canvas.HandleAllocated());
}

TEST_F(CanvasTest, ClearBrushFillsNothingAndLeavesTheBackgroundTransparent) {
  struct Case {
    TBrushStyle style;
    COLORREF pixel;
    int backgroundMode;
  };
  const Case cases[] = {{bsSolid, RGB(255, 0, 0), OPAQUE}, {bsClear, RGB(255, 255, 255), TRANSPARENT}};
  for (const Case& c : cases) {
    Canvas().Brush()->SetColor(clRed);
    Canvas().Brush()->SetStyle(c.style);
    Canvas().FillRect(RECT{2, 2, 10, 10});
    EXPECT_EQ(GetPixel(dc_, 5, 5), c.pixel) << c.style;
    EXPECT_EQ(GetBkMode(dc_), c.backgroundMode) << c.style;
    TearDown();
    SetUp();
  }
}

TEST_F(CanvasTest, ChangingTheBrushSelectsTheStockBrushAndTheNextFillTheNewOne) {
  TCanvas& canvas = Canvas();
  canvas.Brush()->SetColor(clRed);
  canvas.FillRect(RECT{0, 0, 8, 8});
  const HBRUSH red = canvas.Brush()->Handle();
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_BRUSH), red);
  canvas.Brush()->SetColor(clBlue);
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_BRUSH), GetStockObject(NULL_BRUSH));
  canvas.FillRect(RECT{8, 8, 16, 16});
  EXPECT_NE(canvas.Brush()->Handle(), red);
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_BRUSH), canvas.Brush()->Handle());
  EXPECT_EQ(GetPixel(dc_, 4, 4), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc_, 12, 12), RGB(0, 0, 255));
  EXPECT_EQ(GetBkColor(dc_), RGB(0, 0, 255));

  canvas.TextHeight("0");
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_FONT), canvas.Font()->Handle());
  canvas.Font()->SetHeight(-20);
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_FONT), GetStockObject(SYSTEM_FONT));
  canvas.LineTo(3, 3);
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_PEN), canvas.Pen()->Handle());
  canvas.Pen()->SetWidth(2);
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_PEN), GetStockObject(BLACK_PEN));
  // The font's colour is applied when the font is selected.
  canvas.Font()->SetColor(clRed);
  canvas.TextHeight("0");
  EXPECT_EQ(GetTextColor(dc_), RGB(255, 0, 0));
}

TEST_F(CanvasTest, GivingUpTheContextKeepsThePenPositionAndSelectsStockObjects) {
  TCanvas& canvas = Canvas();
  canvas.Handle();  // everything selected
  canvas.MoveTo(5, 7);
  canvas.SetHandle(nullptr);
  EXPECT_FALSE(canvas.HandleAllocated());
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_FONT), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_PEN), GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_BRUSH), GetStockObject(NULL_BRUSH));

  HDC other = CreateCompatibleDC(nullptr);
  canvas.SetHandle(other);
  POINT at{};
  GetCurrentPositionEx(other, &at);
  EXPECT_EQ(at.x, 5);
  EXPECT_EQ(at.y, 7);
  canvas.SetHandle(nullptr);
  DeleteDC(other);
}

TEST_F(CanvasTest, TextOutMovesThePenPastTheText) {
  TCanvas& canvas = Canvas();
  const int width = canvas.TextWidth("0123");
  ASSERT_GT(width, 0);
  struct Case {
    int flags;
    LONG penX;
  };
  const Case cases[] = {{0, 10 + width}, {ETO_RTLREADING, 10 + width + 1 + width}};
  for (const Case& c : cases) {
    canvas.TextFlags = c.flags;
    canvas.TextOut(10, 3, "0123");
    EXPECT_EQ(canvas.PenPos().x, c.penX) << c.flags;
    EXPECT_EQ(canvas.PenPos().y, 3) << c.flags;
  }
}

TEST_F(CanvasTest, DrawingRunsTheBeforeAndAfterCallbacks) {
  TCanvas& canvas = Canvas();
  TRecorder recorder;
  recorder.watched = &canvas;
  canvas.OnChanging.Bind(&recorder, &TRecorder::Changing);
  canvas.OnChange.Bind(&recorder, &TRecorder::Changed);
  canvas.FillRect(RECT{0, 0, 2, 2});
  canvas.TextOut(0, 0, "a");
  canvas.TextHeight("a");  // measuring draws nothing
  EXPECT_THAT(recorder.log, testing::ElementsAre("changing", "change", "changing", "change"));
}

TEST_F(CanvasTest, OwnObjectsAreAssignedIntoNeverAdopted) {
  TCanvas& canvas = Canvas();
  {
    TFont font;
    font.SetName("Tahoma");
    font.SetHeight(-15);
    canvas.SetFont(&font);
    TBrush brush;
    brush.SetColor(clLime);
    canvas.SetBrush(&brush);
    TPen pen;
    pen.SetColor(clRed);
    canvas.SetPen(&pen);
  }
  EXPECT_EQ(canvas.Font()->Name(), "Tahoma");
  EXPECT_EQ(canvas.Font()->Height(), -15);
  EXPECT_EQ(canvas.Brush()->Color(), clLime);
  EXPECT_EQ(canvas.Pen()->Color(), clRed);
  canvas.FillRect(RECT{0, 0, 4, 4});
  EXPECT_EQ(GetPixel(dc_, 1, 1), RGB(0, 255, 0));
}

TEST_F(CanvasTest, SystemColourChangeRemakesSystemColouredHandles) {
  TCanvas& canvas = Canvas();
  canvas.Brush()->SetColor(clBtnFace);
  canvas.Pen()->SetColor(clWindowText);
  canvas.Handle();
  const HBRUSH systemBrush = canvas.Brush()->Handle();
  const HPEN systemPen = canvas.Pen()->Handle();
  const HFONT font = canvas.Font()->Handle();
  TBrush plain;
  plain.SetColor(clRed);
  const HBRUSH plainBrush = plain.Handle();

  SystemColorsChanged();
  EXPECT_EQ(GetObjectType(systemBrush), 0u);
  EXPECT_EQ(GetObjectType(systemPen), 0u);
  EXPECT_EQ(GetObjectType(plainBrush), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(plain.Handle(), plainBrush);
  EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_BRUSH), GetStockObject(NULL_BRUSH));
  EXPECT_EQ(canvas.LockCount(), 0);

  canvas.FillRect(RECT{0, 0, 4, 4});
  EXPECT_EQ(GetObjectType(canvas.Brush()->Handle()), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(GetCurrentObject(dc_, OBJ_BRUSH), canvas.Brush()->Handle());
  EXPECT_EQ(GetPixel(dc_, 1, 1), GetSysColor(COLOR_BTNFACE));
}

TEST_F(CanvasTest, TryLockFailsWhileAnotherHolds) {
  TCanvas& canvas = Canvas();
  auto tryFromAnotherThread = [&] {
    bool locked = false;
    std::thread([&] {
      locked = canvas.TryLock();
      if (locked) canvas.Unlock();
    }).join();
    return locked;
  };
  canvas.Lock();
  EXPECT_EQ(canvas.LockCount(), 1);
  EXPECT_FALSE(tryFromAnotherThread());
  EXPECT_FALSE(canvas.TryLock());  // held, even by this thread
  canvas.Unlock();
  EXPECT_EQ(canvas.LockCount(), 0);
  EXPECT_TRUE(tryFromAnotherThread());
  canvas.Unlock();  // nothing held: nothing to leave
  EXPECT_EQ(canvas.LockCount(), 0);
}

TEST_F(CanvasTest, JapaneseFaceMeasuresTwelvePixels) {
  HDC screen = GetDC(nullptr);
  {
    TCanvas canvas;
    canvas.SetHandle(screen);
    canvas.Font()->SetName(kJapaneseFace);
    canvas.Font()->SetHeight(-12);
    canvas.Font()->SetCharset(SHIFTJIS_CHARSET);
    EXPECT_EQ(canvas.TextHeight("0"), 12);
    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(canvas.Handle(), &metrics));
    EXPECT_EQ(metrics.tmHeight, 12);
  }
  ReleaseDC(nullptr, screen);
}

// ---- Through the form reader ------------------------------------------------------------

class TFontHolder : public TComponent {
  TW_PUBLISHED_CLASS(TFontHolder, TComponent)
 public:
  using TComponent::TComponent;
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* font) { font_->AssignFrom(font); }
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; }

 private:
  std::unique_ptr<TFont> font_ = std::make_unique<TFont>();
  TColor color_ = clWindow;
};

void TFontHolder::Publish(Publisher& p) {
  p.Property<&Self::Color, &Self::SetColor>("Color", &ColorTypeInfo());
  TW_PROPERTY(Font, &Self::Font, &Self::SetFont);
}

TComponent* FindNoForm(std::string_view) { return nullptr; }

TEST(FormReaderTest, FontPropertiesReadByName) {
  TFontHolder holder(nullptr);
  const test::FormBytes bytes = test::FormBytes()
                                    .Signature()
                                    .Object("TFontHolder", "Holder1")
                                    .Prop("Color")
                                    .Ident("clBtnFace")
                                    .Prop("Font.Charset")
                                    .Ident("SHIFTJIS_CHARSET")
                                    .Prop("Font.Color")
                                    .Ident("clRed")
                                    .Prop("Font.Height")
                                    .Int(-12)
                                    .Prop("Font.Name")
                                    .Str(kJapaneseFace)
                                    .Prop("Font.Pitch")
                                    .Ident("fpVariable")
                                    .Prop("Font.Style")
                                    .Set({"fsBold", "fsUnderline"})
                                    .End()
                                    .End();
  const TGlobalComponentFinder previous = SetGlobalComponentFinder(&FindNoForm);
  auto stream = bytes.Stream();
  TReader reader(*stream);
  reader.ReadRootObject(&holder);
  SetGlobalComponentFinder(previous);

  EXPECT_EQ(holder.Color(), clBtnFace);
  TFont* font = holder.Font();
  EXPECT_EQ(font->Charset(), SHIFTJIS_CHARSET);
  EXPECT_EQ(font->Color(), clRed);
  EXPECT_EQ(font->Height(), -12);
  EXPECT_EQ(font->Size(), 9);
  EXPECT_EQ(font->Name(), kJapaneseFace);
  EXPECT_EQ(font->Pitch(), fpVariable);
  EXPECT_EQ(font->Style(), (TFontStyles{fsBold, fsUnderline}));
}

}  // namespace
}  // namespace tw
