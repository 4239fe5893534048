// Fonts, pens and brushes over the shared resource records.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "core/ClassInfo.h"
#include "graphics/Graphics.h"
#include "graphics/ResourceCache.h"
#include "runtime/Language.h"
#include "runtime/Platform.h"

namespace tw {

namespace {

constexpr std::size_t kFaceNameLimit = 31;

// Attribute data. The spare bytes keep the records free of padding, so that
// byte-equal data means equal attributes; they stay 0.
struct TFontData {
  HFONT handle;
  std::int32_t height;
  TFontPitch pitch;
  std::uint8_t style;  // TFontStyles bits
  TFontCharset charset;
  std::uint8_t spare;
  char name[kFaceNameLimit + 1];
};

struct TPenData {
  HPEN handle;
  TColor color;
  std::int32_t width;
  TPenStyle style;
  std::uint8_t spare[3];
};

struct TBrushData {
  HBRUSH handle;
  TColor color;
  TBrushStyle style;
  std::uint8_t spare[3];
};

using TFontCache = detail::TResourceCache<TFontData>;
using TPenCache = detail::TResourceCache<TPenData>;
using TBrushCache = detail::TResourceCache<TBrushData>;

// The caches live for the whole process, past the destruction of any static
// object that might still hold a record.
TFontCache& FontCache() {
  static auto* cache = new TFontCache;
  return *cache;
}
TPenCache& PenCache() {
  static auto* cache = new TPenCache;
  return *cache;
}
TBrushCache& BrushCache() {
  static auto* cache = new TBrushCache;
  return *cache;
}

// "ＭＳ Ｐゴシック" in code page 932. The face name goes to the platform as these
// bytes; it is no text the user reads, so it is kept here rather than in the
// message table.
constexpr char kJapaneseDefaultFace[] = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";

// The character set of a code page; nothing when it has none (UTF-8).
std::optional<TFontCharset> CharsetOfCodePage(UINT codePage) {
  CHARSETINFO info{};
  if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<std::uintptr_t>(codePage)), &info, TCI_SRCCODEPAGE))
    return std::nullopt;
  return static_cast<TFontCharset>(info.ciCharset);
}

// The code page a face name of the character set is written in: the one the
// set stands for; the process's ANSI code page for a set that names none
// (DEFAULT_CHARSET) or none that converts text (the symbol set's).
UINT CodePageOfCharset(TFontCharset charset) {
  CHARSETINFO info{};
  if (charset != DEFAULT_CHARSET && charset != SYMBOL_CHARSET &&
      TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<std::uintptr_t>(charset)), &info, TCI_SRCCHARSET) &&
      IsValidCodePage(info.ciACP))
    return info.ciACP;
  return GetACP();
}

// The character set every font is made with, when the process's ANSI code
// page is not the one of the system's locale: the graphics layer is
// documented to keep converting by the system's code page even where a
// manifest gave the process another one. Nothing when the two agree.
std::optional<TFontCharset> ForcedCharset() {
  // The English windows name Latin fonts of their own character set: the rule
  // is for the Japanese texts alone.
  if (UiLanguage() != TUiLanguage::Japanese) return std::nullopt;
  static const std::optional<TFontCharset> forced = []() -> std::optional<TFontCharset> {
    DWORD systemCodePage = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&systemCodePage), sizeof systemCodePage / sizeof(wchar_t)) == 0)
      return std::nullopt;
    if (systemCodePage == GetACP()) return std::nullopt;
    return CharsetOfCodePage(GetACP());
  }();
  return forced;
}

// Whether the process's ANSI code page is Shift-JIS, whatever the system's.
bool ProcessIsShiftJis() { return GetACP() == 932; }

// The character set of the platform's stock system font.
TFontCharset SystemDefaultCharset() {
  TFontCharset charset = DEFAULT_CHARSET;
  if (HDC dc = GetDC(nullptr)) {
    HGDIOBJ old = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    TEXTMETRICA metrics{};
    if (GetTextMetricsA(dc, &metrics)) charset = metrics.tmCharSet;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
  }
  return charset;
}

// Copies the name into the zeroed face-name field, cut to 31 bytes but never
// between the two bytes of a double-byte character.
void StoreFaceName(TFontData& data, std::string_view name) {
  std::size_t end = 0;
  while (end < name.size()) {
    const std::size_t step =
        platform::IsLeadByte(static_cast<std::uint8_t>(name[end])) && end + 1 < name.size() ? 2 : 1;
    if (end + step > kFaceNameLimit) break;
    end += step;
  }
  std::memset(data.name, 0, sizeof data.name);
  std::memcpy(data.name, name.data(), end);
}

const TFontData& DefaultFontData() {
  static const TFontData data = [] {
    TFontData d{};
    const int pixelsPerInch = ScreenPixelsPerInch();
    d.height = -MulDiv(8, pixelsPerInch, 72);
    d.pitch = fpDefault;
    d.charset = DEFAULT_CHARSET;
    StoreFaceName(d, "MS Sans Serif");
    // The system's font speaks for the system's code page; a process given
    // code page 932 by its manifest on another system is Japanese all the same.
    // The English windows keep the Latin default.
    const bool doubleByte = GetSystemMetrics(SM_DBCSENABLED) != 0 || ProcessIsShiftJis();
    if (UiLanguage() == TUiLanguage::Japanese && doubleByte &&
        (ProcessIsShiftJis() || SystemDefaultCharset() == SHIFTJIS_CHARSET)) {
      d.height = -MulDiv(9, pixelsPerInch, 72);
      d.charset = SHIFTJIS_CHARSET;
      StoreFaceName(d, kJapaneseDefaultFace);
    }
    return d;
  }();
  return data;
}

// A face name from the platform, as bytes in the code page of the font's
// character set.
void StoreWideFaceName(TFontData& data, const wchar_t* face) {
  char bytes[LF_FACESIZE * 2] = {};
  const int n =
      WideCharToMultiByte(CodePageOfCharset(data.charset), 0, face, -1, bytes, sizeof bytes - 1, nullptr, nullptr);
  StoreFaceName(data, std::string_view(bytes, n > 0 ? static_cast<std::size_t>(n - 1) : 0));
}

// The attributes of a platform font; the default data when it cannot be read.
// Read in wide form: the face name is converted here, by its character set's
// code page, not by whatever code page the platform would pick.
TFontData FontDataOf(HFONT font) {
  LOGFONTW log{};
  if (!font || GetObjectW(font, sizeof log, &log) == 0) return DefaultFontData();
  TFontData d{};
  d.handle = font;
  d.height = log.lfHeight;
  TFontStyles style;
  if (log.lfWeight >= FW_BOLD) style.Include(fsBold);
  if (log.lfItalic == 1) style.Include(fsItalic);
  if (log.lfUnderline == 1) style.Include(fsUnderline);
  if (log.lfStrikeOut == 1) style.Include(fsStrikeOut);
  d.style = style.Bits();
  d.charset = log.lfCharSet;
  log.lfFaceName[LF_FACESIZE - 1] = L'\0';
  StoreWideFaceName(d, log.lfFaceName);
  const BYTE pitch = log.lfPitchAndFamily & 0x0F;
  d.pitch = pitch == FIXED_PITCH ? fpFixed : pitch == VARIABLE_PITCH ? fpVariable : fpDefault;
  return d;
}

// The platform font is made through the wide function: the face name (bytes
// in the code page of the font's character set, "ＭＳ Ｐゴシック" in 932) is
// converted here, since the platform's own conversion of a narrow face name
// follows the system's code page, not the process's.
HGDIOBJ MakeFont(const TFontData& d) {
  LOGFONTW log{};
  log.lfHeight = d.height;
  const TFontStyles style = TFontStyles::FromBits(d.style);
  log.lfWeight = style.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  log.lfItalic = style.Contains(fsItalic) ? 1 : 0;
  log.lfUnderline = style.Contains(fsUnderline) ? 1 : 0;
  log.lfStrikeOut = style.Contains(fsStrikeOut) ? 1 : 0;
  log.lfCharSet = PlatformCharset(d.charset);
  log.lfPitchAndFamily = d.pitch == fpVariable ? VARIABLE_PITCH : d.pitch == fpFixed ? FIXED_PITCH : DEFAULT_PITCH;
  const TFontData& named = SameAsciiText(d.name, "Default") ? DefaultFontData() : d;
  // At most 31 bytes give at most 31 characters: with the zero, they fit.
  const int n = MultiByteToWideChar(CodePageOfCharset(named.charset), 0, named.name,
                                    static_cast<int>(std::strlen(named.name)), log.lfFaceName, LF_FACESIZE - 1);
  log.lfFaceName[std::max(n, 0)] = L'\0';
  return CreateFontIndirectW(&log);
}

HGDIOBJ MakePen(const TPenData& d) {
  // psSolid ... psInsideFrame are PS_SOLID ... PS_INSIDEFRAME in order.
  LOGPEN log{static_cast<UINT>(d.style), POINT{d.width, 0}, ColorToRGB(d.color)};
  return CreatePenIndirect(&log);
}

HGDIOBJ MakeBrush(const TBrushData& d) {
  LOGBRUSH log{};
  log.lbColor = ColorToRGB(d.color);
  switch (d.style) {
    case bsSolid: log.lbStyle = BS_SOLID; break;
    case bsClear: log.lbStyle = BS_HOLLOW; break;
    default:
      // bsHorizontal ... bsDiagCross are HS_HORIZONTAL ... HS_DIAGCROSS.
      log.lbStyle = BS_HATCHED;
      log.lbHatch = static_cast<ULONG_PTR>(d.style) - 2;
      break;
  }
  return CreateBrushIndirect(&log);
}

// The record data as a copy to change, without an adopted platform object: the
// changed attributes get a platform object of their own.
template <class Data>
Data DataToChange(const detail::TResourceRecord* record) {
  Data data = static_cast<const detail::TDataRecord<Data>*>(record)->data;
  data.handle = nullptr;
  return data;
}

template <class Data>
const Data& DataOf(const detail::TResourceRecord* record) {
  return static_cast<const detail::TDataRecord<Data>*>(record)->data;
}

}  // namespace

TFontCharset PlatformCharset(TFontCharset charset) {
  const std::optional<TFontCharset> forced = ForcedCharset();
  return forced && charset != SYMBOL_CHARSET ? *forced : charset;
}

// Lets the helpers below reach the record and the change step of any object.
struct GraphicsObjectAccess {
  // Enters the owner's lock for the scope.
  class Locked {
   public:
    explicit Locked(const TGraphicsObject& object) : object_(object) { object_.Lock(); }
    ~Locked() { object_.Unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

   private:
    const TGraphicsObject& object_;
  };

  // Gives the object the record of the new data; the change step runs when the
  // record is another one; the old record is let go even when the change step
  // raises.
  template <class Data>
  static void ChangeData(TGraphicsObject& object, detail::TResourceCache<Data>& cache, const Data& data) {
    Locked locked(object);
    Swap(object, cache.Acquire(data));
  }

  // Takes the other object's record.
  static void Share(TGraphicsObject& object, const TGraphicsObject& other) {
    Locked locked(object);
    if (object.resource_ == other.resource_) return;
    other.resource_->cache->AddRef(other.resource_);
    Swap(object, other.resource_);
  }

  static detail::TResourceRecord* Record(const TGraphicsObject& object) { return object.resource_; }
  static void Init(TGraphicsObject& object, detail::TResourceRecord* record) { object.resource_ = record; }

 private:
  static void Swap(TGraphicsObject& object, detail::TResourceRecord* fresh) {
    detail::TResourceRecord* old = object.resource_;
    object.resource_ = fresh;
    struct ReleaseOld {
      detail::TResourceRecord* record;
      ~ReleaseOld() { record->cache->Release(record); }
    } releaseOld{old};
    if (fresh != old) object.Changed();
  }
};

using Access = GraphicsObjectAccess;

std::size_t FontRecordCount() { return FontCache().Count(); }
std::size_t PenRecordCount() { return PenCache().Count(); }
std::size_t BrushRecordCount() { return BrushCache().Count(); }

namespace detail {
// The canvas's part of the system-colour change.
void DropSystemColorHandles() {
  PenCache().DropHandles([](const TPenData& d) { return !d.handle && d.color < 0; });
  BrushCache().DropHandles([](const TBrushData& d) { return !d.handle && d.color < 0; });
}
}  // namespace detail

// ---- TGraphicsObject ---------------------------------------------------------

void TGraphicsObject::Publish(Publisher&) {}

TGraphicsObject::~TGraphicsObject() {
  if (resource_) resource_->cache->Release(resource_);
}

void TGraphicsObject::Changed() { OnChange(this); }

void TGraphicsObject::Lock() const {
  if (ownerLock_) ownerLock_->lock();
}

void TGraphicsObject::Unlock() const {
  if (ownerLock_) ownerLock_->unlock();
}

// ---- TFont ----------------------------------------------------------------------

void TFont::Publish(Publisher& p) {
  p.Property<&Self::Charset, &Self::SetCharset>("Charset", &FontCharsetTypeInfo());
  p.Property<&Self::Color, &Self::SetColor>("Color", &ColorTypeInfo());
  TW_PROPERTY(Height, &Self::Height, &Self::SetHeight);
  TW_PROPERTY(Name, &Self::Name, &Self::SetName);
  TW_PROPERTY(Pitch, &Self::Pitch, &Self::SetPitch);
  TW_PROPERTY(Size, &Self::Size, &Self::SetSize);
  TW_PROPERTY(Style, &Self::Style, &Self::SetStyle);
}

TFont::TFont() : pixelsPerInch_(ScreenPixelsPerInch()) {
  // Forms set fonts and colours by name; the names are there once a font is.
  RegisterGraphicsIdentMaps();
  Access::Init(*this, FontCache().Acquire(DefaultFontData()));
}

TFont::~TFont() = default;

HFONT TFont::Handle() const {
  auto* record = static_cast<TFontCache::Record*>(Access::Record(*this));
  return static_cast<HFONT>(FontCache().HandleOf(record, MakeFont));
}

void TFont::SetHandle(HFONT handle) {
  TFontData data = FontDataOf(handle);
  if (data.handle && PlatformCharset(data.charset) != data.charset) {
    // A platform font of another character set (the system's status-bar font
    // on a system of another language) would draw the process's texts in the
    // wrong code page: the attributes are kept and a font of the right
    // character set is made from them. The given one was handed over to be
    // owned; no record holds it (records make theirs with the right set).
    DeleteObject(data.handle);
    data.handle = nullptr;
  }
  Access::ChangeData(*this, FontCache(), data);
}

std::int32_t TFont::Height() const { return DataOf<TFontData>(resource_).height; }

void TFont::SetHeight(std::int32_t height) {
  TFontData data = DataToChange<TFontData>(resource_);
  data.height = height;
  Access::ChangeData(*this, FontCache(), data);
}

std::int32_t TFont::Size() const { return -MulDiv(Height(), 72, pixelsPerInch_); }

void TFont::SetSize(std::int32_t size) { SetHeight(-MulDiv(size, pixelsPerInch_, 72)); }

std::string TFont::Name() const { return DataOf<TFontData>(resource_).name; }

void TFont::SetName(std::string_view name) {
  if (name.empty()) return;
  TFontData data = DataToChange<TFontData>(resource_);
  StoreFaceName(data, name);
  Access::ChangeData(*this, FontCache(), data);
}

TFontStyles TFont::Style() const { return TFontStyles::FromBits(DataOf<TFontData>(resource_).style); }

void TFont::SetStyle(TFontStyles style) {
  TFontData data = DataToChange<TFontData>(resource_);
  // Only the four styles exist; other bits would make equal fonts differ.
  data.style = static_cast<std::uint8_t>(style.Bits() & 0x0F);
  Access::ChangeData(*this, FontCache(), data);
}

TFontPitch TFont::Pitch() const { return DataOf<TFontData>(resource_).pitch; }

void TFont::SetPitch(TFontPitch pitch) {
  TFontData data = DataToChange<TFontData>(resource_);
  data.pitch = pitch;
  Access::ChangeData(*this, FontCache(), data);
}

TFontCharset TFont::Charset() const { return DataOf<TFontData>(resource_).charset; }

void TFont::SetCharset(TFontCharset charset) {
  TFontData data = DataToChange<TFontData>(resource_);
  data.charset = charset;
  Access::ChangeData(*this, FontCache(), data);
}

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  Access::Locked locked(*this);
  color_ = color;
  Changed();
}

void TFont::AssignFrom(const TPersistent* source) {
  if (!IsInstanceOf(source, StaticClassInfo())) {
    TPersistent::AssignFrom(source);
    return;
  }
  const auto& other = static_cast<const TFont&>(*source);
  if (&other == this) return;
  Access::Locked locked(*this);
  Access::Share(*this, other);
  SetColor(other.color_);
  // Fonts made for different resolutions keep the point size, not the pixels.
  if (pixelsPerInch_ != other.pixelsPerInch_) SetSize(other.Size());
}

bool TFont::SameAttributes(const TFont& other) const { return resource_ == other.resource_ && color_ == other.color_; }

void TFont::Changed() {
  TGraphicsObject::Changed();
  if (notifier_) notifier_->Changed();
}

// ---- TPen -----------------------------------------------------------------------

void TPen::Publish(Publisher& p) {
  p.Property<&Self::Color, &Self::SetColor>("Color", &ColorTypeInfo());
  TW_PROPERTY(Mode, &Self::Mode, &Self::SetMode);
  TW_PROPERTY(Style, &Self::Style, &Self::SetStyle);
  TW_PROPERTY(Width, &Self::Width, &Self::SetWidth);
}

TPen::TPen() {
  TPenData data{};
  data.color = clBlack;
  data.width = 1;
  data.style = psSolid;
  Access::Init(*this, PenCache().Acquire(data));
}

TPen::~TPen() = default;

HPEN TPen::Handle() const {
  auto* record = static_cast<TPenCache::Record*>(Access::Record(*this));
  return static_cast<HPEN>(PenCache().HandleOf(record, MakePen));
}

TColor TPen::Color() const { return DataOf<TPenData>(resource_).color; }

void TPen::SetColor(TColor color) {
  TPenData data = DataToChange<TPenData>(resource_);
  data.color = color;
  Access::ChangeData(*this, PenCache(), data);
}

std::int32_t TPen::Width() const { return DataOf<TPenData>(resource_).width; }

void TPen::SetWidth(std::int32_t width) {
  if (width < 0) return;
  TPenData data = DataToChange<TPenData>(resource_);
  data.width = width;
  Access::ChangeData(*this, PenCache(), data);
}

TPenStyle TPen::Style() const { return DataOf<TPenData>(resource_).style; }

void TPen::SetStyle(TPenStyle style) {
  TPenData data = DataToChange<TPenData>(resource_);
  data.style = style;
  Access::ChangeData(*this, PenCache(), data);
}

void TPen::SetMode(TPenMode mode) {
  if (mode == mode_) return;
  Access::Locked locked(*this);
  mode_ = mode;
  Changed();
}

void TPen::AssignFrom(const TPersistent* source) {
  if (!IsInstanceOf(source, StaticClassInfo())) {
    TPersistent::AssignFrom(source);
    return;
  }
  const auto& other = static_cast<const TPen&>(*source);
  if (&other == this) return;
  Access::Locked locked(*this);
  Access::Share(*this, other);
  SetMode(other.mode_);
}

// ---- TBrush ---------------------------------------------------------------------

void TBrush::Publish(Publisher& p) {
  p.Property<&Self::Color, &Self::SetColor>("Color", &ColorTypeInfo());
  TW_PROPERTY(Style, &Self::Style, &Self::SetStyle);
}

TBrush::TBrush() {
  TBrushData data{};
  data.color = clWhite;
  data.style = bsSolid;
  Access::Init(*this, BrushCache().Acquire(data));
}

TBrush::~TBrush() = default;

HBRUSH TBrush::Handle() const {
  auto* record = static_cast<TBrushCache::Record*>(Access::Record(*this));
  return static_cast<HBRUSH>(BrushCache().HandleOf(record, MakeBrush));
}

TColor TBrush::Color() const { return DataOf<TBrushData>(resource_).color; }

void TBrush::SetColor(TColor color) {
  TBrushData data = DataToChange<TBrushData>(resource_);
  data.color = color;
  if (data.style == bsClear) data.style = bsSolid;
  Access::ChangeData(*this, BrushCache(), data);
}

TBrushStyle TBrush::Style() const { return DataOf<TBrushData>(resource_).style; }

void TBrush::SetStyle(TBrushStyle style) {
  TBrushData data = DataToChange<TBrushData>(resource_);
  data.style = style;
  Access::ChangeData(*this, BrushCache(), data);
}

void TBrush::AssignFrom(const TPersistent* source) {
  if (!IsInstanceOf(source, StaticClassInfo())) {
    TPersistent::AssignFrom(source);
    return;
  }
  const auto& other = static_cast<const TBrush&>(*source);
  if (&other == this) return;
  Access::Share(*this, other);
}

}  // namespace tw
