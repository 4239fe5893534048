#include "core/PropertyAccess.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/Component.h"
#include "core/Persistent.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {
enum TTestBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TTestOption : std::uint8_t { opA, opB, opC };
}  // namespace

TW_ENUMERATION(TTestBorderStyle, "bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin")
TW_ENUMERATION(TTestOption, "opA", "opB", "opC")

namespace test_inner::deeper {
enum TNestedOption : std::uint8_t { noX, noY };
}  // namespace test_inner::deeper
TW_ENUMERATION(test_inner::deeper::TNestedOption, "noX", "noY")

namespace {

using test::Sjis;

// A short text of at most 9 bytes, and one limited only by the short-text size.
const TTypeInfo kShortText9{.kind = TPropKind::pkShortText, .name = "TName9", .maxValue = 9};
const TTypeInfo kShortText{.kind = TPropKind::pkShortText, .name = "ShortString", .maxValue = 255};

class TTestFont : public TPersistent {
  TW_CLASS(TTestFont, TPersistent)
};

class TOtherThing : public TPersistent {
  TW_CLASS(TOtherThing, TPersistent)
};

// Three levels, so that lookups have to climb: Name and Tag at the base,
// Caption in the middle, everything else in the leaf.
class TBaseThing : public TPersistent {
  TW_PUBLISHED_CLASS(TBaseThing, TPersistent)
 public:
  const std::string& GetName() const { return name_; }
  void Rename(const std::string& value) {
    name_ = value;
    ++renames;
  }
  std::int32_t tag = 0;
  int renames = 0;

 private:
  std::string name_;
};

void TBaseThing::Publish(Publisher& p) {
  TW_PROPERTY(Name, &Self::GetName, &Self::Rename);
  TW_PROPERTY(Tag, &Self::tag, &Self::tag);
}

class TMiddleThing : public TBaseThing {
  TW_PUBLISHED_CLASS(TMiddleThing, TBaseThing)
 public:
  std::string caption;
};

void TMiddleThing::Publish(Publisher& p) { TW_PROPERTY(Caption, &Self::caption, &Self::caption); }

class TLeafThing : public TMiddleThing {
  TW_PUBLISHED_CLASS(TLeafThing, TMiddleThing)
 public:
  std::int8_t sByte = 0;
  std::uint8_t uByte = 0;
  std::int16_t sWord = 0;
  std::uint16_t uWord = 0;
  std::int32_t sLong = 0;
  char letter = 0;
  Boolean visible = false;
  TTestBorderStyle borderStyle = bsSizeable;
  TSet<TTestOption> options;
  std::int32_t rawWord = 0;  // published through a method as a signed byte
  std::array<std::int32_t, 2> position{};
  TTestFont* font = nullptr;
  TNotifyEvent onClick;
  float single = 0;
  double dbl = 0;
  long double extended = 0;
  std::int64_t big = 0;
  TVariant value;
  std::u16string wide;
  std::string shortName;
  std::string shortText;
  std::string shortByMethod;
  std::int32_t leafTag = 0;
  TObject* clickedBy = nullptr;

  std::int32_t GetRaw() const { return rawWord; }
  std::int32_t GetPosition(std::int32_t index) const { return position[static_cast<std::size_t>(index)]; }
  void SetPosition(std::int32_t index, std::int32_t v) { position[static_cast<std::size_t>(index)] = v; }
  std::int32_t Count() const { return 7; }
  void SetShortByMethod(std::string value) { shortByMethod = std::move(value); }
  void Clicked(TObject* sender) { clickedBy = sender; }
};

void TLeafThing::Publish(Publisher& p) {
  TW_PROPERTY(SByte, &Self::sByte, &Self::sByte);
  TW_PROPERTY(UByte, &Self::uByte, &Self::uByte);
  TW_PROPERTY(SWord, &Self::sWord, &Self::sWord);
  TW_PROPERTY(UWord, &Self::uWord, &Self::uWord);
  TW_PROPERTY(SLong, &Self::sLong, &Self::sLong);
  TW_PROPERTY(Letter, &Self::letter, &Self::letter);
  TW_PROPERTY(Visible, &Self::visible, &Self::visible);
  TW_PROPERTY(BorderStyle, &Self::borderStyle, &Self::borderStyle).Default(bsSizeable);
  TW_PROPERTY(Options, &Self::options, &Self::options).Default(TSet<TTestOption>{opA, opC});
  p.Property<&Self::GetRaw>("Raw", &TypeInfoOf<std::int8_t>());
  p.Property<&Self::GetPosition, &Self::SetPosition>("Left", nullptr, 0);
  p.Property<&Self::GetPosition, &Self::SetPosition>("Top", nullptr, 1);
  TW_PROPERTY(Font, &Self::font, &Self::font);
  TW_PROPERTY(OnClick, &Self::onClick, &Self::onClick);
  TW_PROPERTY(Single, &Self::single, &Self::single);
  TW_PROPERTY(Double, &Self::dbl, &Self::dbl);
  TW_PROPERTY(Extended, &Self::extended, &Self::extended);
  TW_PROPERTY(Big, &Self::big, &Self::big);
  TW_PROPERTY(Value, &Self::value, &Self::value);
  TW_PROPERTY(Wide, &Self::wide, &Self::wide);
  p.Property<&Self::shortName, &Self::shortName>("ShortName", &kShortText9);
  p.Property<&Self::shortText, &Self::shortText>("ShortText", &kShortText);
  p.Property<&Self::shortByMethod, &Self::SetShortByMethod>("ShortByMethod", &kShortText9);
  TW_PROPERTY(Count, &Self::Count);
  // Republished here: the leaf's own record hides the base's.
  TW_PROPERTY(tag, &Self::leafTag, &Self::leafTag);
  TW_METHOD(Clicked);
}

const TPropInfo& Prop(std::string_view name) {
  const TPropInfo* prop = FindPropertyInfo(TLeafThing::StaticClassInfo(), name);
  if (!prop) throw std::logic_error("no property " + std::string(name));
  return *prop;
}

// ---- Finding -------------------------------------------------------------------

TEST(PropertyAccessTest, FindClimbsTheClassChainAndMatchesByTheBit5Rule) {
  const TClassInfo& leaf = TLeafThing::StaticClassInfo();
  const TPropInfo* baseName = FindPropertyInfo(TBaseThing::StaticClassInfo(), "Name");
  const TPropInfo* middleCaption = FindPropertyInfo(TMiddleThing::StaticClassInfo(), "Caption");
  ASSERT_NE(baseName, nullptr);
  ASSERT_NE(middleCaption, nullptr);

  struct Case {
    std::string_view name;
    const TPropInfo* expected;
  };
  const Case cases[] = {
      {"caption", middleCaption}, {"CAPTION", middleCaption}, {"Captions", nullptr}, {"Captio", nullptr},
      {"Name", baseName},         {"nAME", baseName},         {"", nullptr},         {"Nam", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindPropertyInfo(leaf, c.name), c.expected);
  }

  // The leaf's own "tag" wins over the base's "Tag"; the base still has its own.
  const TPropInfo* leafTag = FindPropertyInfo(leaf, "TAG");
  ASSERT_NE(leafTag, nullptr);
  EXPECT_EQ(leafTag->name, "tag");
  EXPECT_EQ(FindPropertyInfo(TBaseThing::StaticClassInfo(), "TAG")->name, "Tag");

  // Through the class-kind type record; any other kind has no properties.
  EXPECT_EQ(FindPropertyInfo(TypeInfoOf<TLeafThing*>(), "caption"), middleCaption);
  EXPECT_EQ(FindPropertyInfo(TypeInfoOf<std::string>(), "caption"), nullptr);
}

// Each record carries its number across the class and its ancestors (theirs
// first) and the default its class declared, if any.
TEST(PropertyAccessTest, RecordsCarryTheirNameIndexAndDefault) {
  const TClassInfo& component = TComponent::StaticClassInfo();
  const TClassInfo& leaf = TLeafThing::StaticClassInfo();
  struct Case {
    const TClassInfo* cls;
    std::string_view name;
    std::uint16_t nameIndex;
    std::int32_t defaultValue;
  };
  const Case cases[] = {
      {&component, "Name", 0, kNoDefault}, {&component, "Tag", 1, 0},       {&leaf, "Name", 0, kNoDefault},
      {&leaf, "Caption", 2, kNoDefault},   {&leaf, "SByte", 3, kNoDefault}, {&leaf, "BorderStyle", 10, bsSizeable},
      {&leaf, "Options", 11, 0b101},       {&leaf, "tag", 27, kNoDefault},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cls->name) + "." + std::string(c.name));
    const TPropInfo* prop = FindPropertyInfo(*c.cls, c.name);
    ASSERT_NE(prop, nullptr);
    EXPECT_EQ(prop->nameIndex, c.nameIndex);
    EXPECT_EQ(prop->defaultValue, c.defaultValue);
  }
  EXPECT_EQ(PublishedPropertyCount(component), 2);
  EXPECT_EQ(PublishedPropertyCount(leaf), 28);
}

// ---- Ordinals ------------------------------------------------------------------

TEST(PropertyAccessTest, OrdinalsAreStoredAndReadWithTheirWidth) {
  struct Case {
    std::string_view name;
    std::int32_t written;
    std::int32_t readBack;
    std::function<std::uint32_t(const TLeafThing&)> storedBits;
    std::uint32_t expectedBits;
  };
  const Case cases[] = {
      {"SByte", -12, -12, [](const TLeafThing& t) { return static_cast<std::uint8_t>(t.sByte); }, 0xF4},
      {"UByte", -12, 244, [](const TLeafThing& t) { return t.uByte; }, 0xF4},
      {"SWord", -12, -12, [](const TLeafThing& t) { return static_cast<std::uint16_t>(t.sWord); }, 0xFFF4},
      {"UWord", -12, 65524, [](const TLeafThing& t) { return t.uWord; }, 0xFFF4},
      {"SLong", -12, -12, [](const TLeafThing& t) { return static_cast<std::uint32_t>(t.sLong); }, 0xFFFFFFF4},
      // Only the low bytes of a wider value are kept.
      {"SByte", 0x1FF, -1, [](const TLeafThing& t) { return static_cast<std::uint8_t>(t.sByte); }, 0xFF},
      {"UWord", 0x12345, 0x2345, [](const TLeafThing& t) { return t.uWord; }, 0x2345},
      {"Letter", 0xE9, 0xE9, [](const TLeafThing& t) { return static_cast<std::uint8_t>(t.letter); }, 0xE9},
      {"BorderStyle", bsDialog, bsDialog, [](const TLeafThing& t) { return t.borderStyle; }, bsDialog},
      {"Options", 0b101, 0b101, [](const TLeafThing& t) { return t.options.Bits(); }, 0b101},
      {"Visible", 1, 1, [](const TLeafThing& t) { return t.visible.Byte(); }, 1},
      // A Boolean field keeps the byte as it was written.
      {"Visible", 2, 2, [](const TLeafThing& t) { return t.visible.Byte(); }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLeafThing thing;
    WriteOrdinalProperty(thing, Prop(c.name), c.written);
    EXPECT_EQ(c.storedBits(thing), c.expectedBits);
    EXPECT_EQ(ReadOrdinalProperty(thing, Prop(c.name)), c.readBack);
  }
}

TEST(PropertyAccessTest, AMethodResultIsExtendedByTheTypeWidth) {
  TLeafThing thing;
  thing.rawWord = 0x7F4;  // the getter hands out 32 bits; the type is a signed byte
  EXPECT_EQ(ReadOrdinalProperty(thing, Prop("Raw")), -12);
  thing.rawWord = 0x70;
  EXPECT_EQ(ReadOrdinalProperty(thing, Prop("Raw")), 0x70);
}

TEST(PropertyAccessTest, IndexedPropertiesPassTheirIndexFirst) {
  TLeafThing thing;
  WriteOrdinalProperty(thing, Prop("Left"), 181);
  WriteOrdinalProperty(thing, Prop("Top"), 374);
  EXPECT_EQ(thing.position, (std::array<std::int32_t, 2>{181, 374}));
  EXPECT_EQ(ReadOrdinalProperty(thing, Prop("top")), 374);
}

TEST(PropertyAccessTest, WritesGoThroughTheSetter) {
  TLeafThing thing;
  WriteTextProperty(thing, Prop("Name"), "Form1");
  EXPECT_EQ(thing.GetName(), "Form1");
  EXPECT_EQ(thing.renames, 1);
  EXPECT_EQ(ReadTextProperty(thing, Prop("Name")), "Form1");
}

// ---- Objects, handlers -------------------------------------------------------------

TEST(PropertyAccessTest, ClassKindPropertiesHoldObjectsOfTheirClassOnly) {
  TLeafThing thing;
  TTestFont font;
  TOtherThing other;
  const TPropInfo& prop = Prop("Font");
  WriteObjectProperty(thing, prop, &font);
  EXPECT_EQ(ReadObjectProperty(thing, prop), &font);
  WriteObjectProperty(thing, prop, &other);  // not a font: not stored
  EXPECT_EQ(thing.font, &font);
  // The reader writes null as the ordinal 0; no other number names an object.
  EXPECT_EQ(test::MessageOf<EInvalidCast>([&] { WriteOrdinalProperty(thing, prop, 5); }),
            Sjis("無効なクラス型キャスト"));
  EXPECT_EQ(thing.font, &font);
  WriteOrdinalProperty(thing, prop, 0);
  EXPECT_EQ(thing.font, nullptr);
}

TEST(PropertyAccessTest, HandlersAreStoredAsCodeAndReceiver) {
  TLeafThing thing;
  TLeafThing form;
  const THandler handler{PublishedMethodAddress(TLeafThing::StaticClassInfo(), "clicked"), &form};
  ASSERT_NE(handler.code, nullptr);
  WriteHandlerProperty(thing, Prop("OnClick"), handler);
  EXPECT_EQ(ReadHandlerProperty(thing, Prop("OnClick")), handler);
  thing.onClick(&thing);
  EXPECT_EQ(form.clickedBy, &thing);

  WriteHandlerProperty(thing, Prop("OnClick"), THandler{});
  EXPECT_FALSE(thing.onClick);
}

// ---- Texts -------------------------------------------------------------------------

TEST(PropertyAccessTest, TextsAreConvertedToThePropertysTextType) {
  struct Case {
    std::string_view name;
    std::string written;
    std::function<bool(const TLeafThing&)> check;
  };
  const std::string kana = Sjis("あいうえおか");  // 12 bytes
  const std::string zeros("a\0b", 3);
  const Case cases[] = {
      // Long text as it is, zero bytes included.
      {"Caption", zeros, [&](const TLeafThing& t) { return t.caption == zeros; }},
      // Short texts: cut to the type's maximum, never inside a character.
      {"ShortName", "abcdefghijkl", [](const TLeafThing& t) { return t.shortName == "abcdefghi"; }},
      {"ShortName", kana, [&](const TLeafThing& t) { return t.shortName == Sjis("あいうえ"); }},
      {"ShortName", "a" + kana, [&](const TLeafThing& t) { return t.shortName == "a" + Sjis("あいうえ"); }},
      {"ShortText", std::string(300, 'x'), [](const TLeafThing& t) { return t.shortText == std::string(255, 'x'); }},
      {"ShortText", std::string(254, 'x') + kana,
       [](const TLeafThing& t) { return t.shortText == std::string(254, 'x'); }},
      // A setter gets the whole short text: 255 bytes, whatever the type's maximum.
      {"ShortByMethod", "abcdefghijkl", [](const TLeafThing& t) { return t.shortByMethod == "abcdefghijkl"; }},
      {"ShortByMethod", std::string(300, 'x'),
       [](const TLeafThing& t) { return t.shortByMethod == std::string(255, 'x'); }},
      // Wide text from the ANSI code page.
      {"Wide", "Form1", [](const TLeafThing& t) { return t.wide == u"Form1"; }},
      {"Wide", Sjis("計算 (&C)"), [](const TLeafThing& t) { return t.wide == u"計算 (&C)"; }},
      {"Wide", "", [](const TLeafThing& t) { return t.wide.empty(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.written.size()));
    TLeafThing thing;
    thing.wide = u"old";
    WriteTextProperty(thing, Prop(c.name), c.written);
    EXPECT_TRUE(c.check(thing));
  }
  TLeafThing thing;
  thing.wide = u"日本";
  EXPECT_EQ(ReadWideTextProperty(thing, Prop("Wide")), u"日本");
}

// ---- Floats, 64-bit integers, variants ----------------------------------------------------

TEST(PropertyAccessTest, FloatsAreConvertedToThePropertysFloatType) {
  TLeafThing thing;
  WriteFloatProperty(thing, Prop("Single"), 0.1L);
  WriteFloatProperty(thing, Prop("Double"), 0.1L);
  WriteFloatProperty(thing, Prop("Extended"), 0.1L);
  EXPECT_EQ(thing.single, 0.1f);
  EXPECT_EQ(thing.dbl, 0.1);
  EXPECT_EQ(thing.extended, 0.1L);
  EXPECT_EQ(ReadFloatProperty(thing, Prop("Single")), static_cast<long double>(0.1f));

  // Too large for the target type: the overflow fault, nothing stored.
  const std::string overflow = Sjis("浮動小数点数のオーバーフロー");
  EXPECT_EQ(test::MessageOf<EOverflow>([&] { WriteFloatProperty(thing, Prop("Single"), 1e39L); }), overflow);
  EXPECT_EQ(test::MessageOf<EOverflow>([&] { WriteFloatProperty(thing, Prop("Double"), 1e309L); }), overflow);
  EXPECT_EQ(thing.single, 0.1f);
  EXPECT_EQ(thing.dbl, 0.1);
  // The largest values themselves fit, and an infinity stays one.
  WriteFloatProperty(thing, Prop("Single"), std::numeric_limits<float>::max());
  EXPECT_EQ(thing.single, std::numeric_limits<float>::max());
  WriteFloatProperty(thing, Prop("Double"), std::numeric_limits<long double>::infinity());
  EXPECT_TRUE(std::isinf(thing.dbl));
  WriteFloatProperty(thing, Prop("Extended"), 1e309L);
  EXPECT_EQ(thing.extended, 1e309L);
}

TEST(PropertyAccessTest, Int64AndVariantValuesAreStoredWhole) {
  TLeafThing thing;
  WriteInt64Property(thing, Prop("Big"), INT64_MIN + 1);
  EXPECT_EQ(ReadInt64Property(thing, Prop("Big")), INT64_MIN + 1);

  const TVariant values[] = {TVariant::Null(),
                             TVariant(),
                             TVariant::Int8(-12),
                             TVariant::Int16(-300),
                             TVariant::Int32(70000),
                             TVariant::Extended(2.5L),
                             TVariant::Text("abc"),
                             TVariant::Boolean(true),
                             TVariant::CurrencyScaled(12345),
                             TVariant::Date(36526.5),
                             TVariant::WideText(u"日本")};
  for (const TVariant& v : values) {
    SCOPED_TRACE(static_cast<int>(v.Type()));
    thing.value = TVariant::Int64(99);
    WriteVariantProperty(thing, Prop("Value"), v);
    EXPECT_EQ(thing.value, v);
    EXPECT_EQ(ReadVariantProperty(thing, Prop("Value")), v);
  }
}

TEST(PropertyAccessTest, VariantsGiveTheirValueOrATypeCastError) {
  EXPECT_EQ(TVariant::Int8(-12).IntegerValue(), -12);
  EXPECT_EQ(TVariant::Boolean(true).IntegerValue(), -1);  // all bits set
  EXPECT_EQ(TVariant::CurrencyScaled(12345).FloatValue(), 1.2345L);
  EXPECT_EQ(TVariant::Int16(-300).FloatValue(), -300.0L);
  EXPECT_NE(TVariant::Int8(1), TVariant::Int16(1));  // the width is part of the value
  const std::string typeCast = Sjis("バリアント型の変換が無効です");
  EXPECT_EQ(test::MessageOf<EVariantError>([] { (void)TVariant::Text("1").IntegerValue(); }), typeCast);
  EXPECT_EQ(test::MessageOf<EVariantError>([] { (void)TVariant::Null().FloatValue(); }), typeCast);
  EXPECT_EQ(test::MessageOf<EVariantError>([] { (void)TVariant().TextValue(); }), typeCast);
  TVariant v = TVariant::Text("x");
  v.Clear();
  EXPECT_TRUE(v.IsEmpty());
}

// ---- Without a writer --------------------------------------------------------------------

TEST(PropertyAccessTest, WritesWithoutAMatchingWriterChangeNothing) {
  TLeafThing thing;
  const TPropInfo& count = Prop("Count");
  EXPECT_FALSE(count.Writable());
  EXPECT_TRUE(Prop("Caption").Writable());
  WriteOrdinalProperty(thing, count, 3);
  EXPECT_EQ(ReadOrdinalProperty(thing, count), 7);
  WriteTextProperty(thing, count, "x");
  WriteFloatProperty(thing, count, 1.0L);
  WriteInt64Property(thing, count, 1);
  WriteHandlerProperty(thing, count, THandler{});
  WriteVariantProperty(thing, count, TVariant::Int32(1));
  WriteObjectProperty(thing, count, &thing);
  // A writer of another kind is not used either; reads of another kind give zero.
  WriteInt64Property(thing, Prop("Caption"), 5);
  EXPECT_EQ(thing.caption, "");
  EXPECT_EQ(ReadTextProperty(thing, count), "");
  EXPECT_EQ(ReadObjectProperty(thing, count), nullptr);
}

// ---- Names of values -------------------------------------------------------------------

TEST(PropertyAccessTest, EnumerationRecordsNameTheTypeWithoutItsNamespace) {
  struct Case {
    const TTypeInfo* type;
    std::string_view name;
  };
  const Case cases[] = {
      {&TypeInfoOf<TTestOption>(), "TTestOption"},
      {&TypeInfoOf<test_inner::deeper::TNestedOption>(), "TNestedOption"},
      // A set is named after its element type.
      {&TypeInfoOf<TSet<test_inner::deeper::TNestedOption>>(), "TNestedOption"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.type->name, c.name);
}

TEST(PropertyAccessTest, EnumValueOfMatchesNamesOfTheBaseType) {
  const TTypeInfo& border = TypeInfoOf<TTestBorderStyle>();
  // A subrange bsNone..bsDialog: names are looked up in the full enumeration.
  const TTypeInfo subrange{.kind = TPropKind::pkEnumeration,
                           .name = "TTestDialogStyle",
                           .width = owUByte,
                           .minValue = 0,
                           .maxValue = 3,
                           .baseType = &border};
  struct Case {
    const TTypeInfo* type;
    std::string_view name;
    std::int32_t expected;
  };
  const Case cases[] = {
      {&border, "bsdialog", bsDialog},
      {&border, "BSDIALOG", bsDialog},
      {&border, "bsNone", bsNone},
      {&border, "bsSizeToolWin", bsSizeToolWin},
      {&border, "bsDialogs", -1},
      {&border, "bsDialo", -1},
      {&border, "", -1},
      {&subrange, "bsSizeToolWin", bsSizeToolWin},
      {&TypeInfoOf<bool>(), "true", 1},
      {&TypeInfoOf<std::string>(), "bsNone", -1},
      {&TypeInfoOf<std::int32_t>(), "$1F", 31},
      {&TypeInfoOf<std::int32_t>(), "-7", -7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EnumValueOf(*c.type, c.name), c.expected);
  }
  EXPECT_EQ(test::MessageOf<EConvertError>([] { EnumValueOf(TypeInfoOf<std::int32_t>(), "clRed"); }),
            Sjis("'clRed' は整数ではありません"));
}

TEST(PropertyAccessTest, SetsAreBuiltFromElementNames) {
  const TTypeInfo& options = TypeInfoOf<TSet<TTestOption>>();
  const std::string_view ac[] = {"opA", "OPC"};
  const std::string_view unknown[] = {"opA", "opD"};
  EXPECT_EQ(SetValueOf(options, ac), 0b101u);
  EXPECT_EQ(SetValueOf(options, {}), 0u);
  EXPECT_EQ(SetValueOf(options, unknown), std::nullopt);
  EXPECT_EQ(SetElementValueOf(options, "opb"), 1);
  EXPECT_EQ(SetElementValueOf(TypeInfoOf<TTestOption>(), "opb"), -1);  // not a set type

  // Elements above 31 do not fit the 32-bit set and are left out.
  std::vector<std::string> names;
  for (int i = 0; i < 34; ++i) names.push_back("e" + std::to_string(i));
  const std::vector<std::string_view> views(names.begin(), names.end());
  const TTypeInfo wide{.kind = TPropKind::pkEnumeration, .name = "TWide", .maxValue = 33, .valueNames = views};
  const TTypeInfo wideSet{.kind = TPropKind::pkSet, .name = "TWideSet", .elementType = &wide};
  const std::string_view some[] = {"E0", "e31", "e33"};
  EXPECT_EQ(SetValueOf(wideSet, some), 0x80000001u);
}

// ---- Identifier maps -------------------------------------------------------------------

constexpr TIdentMapEntry kColours[] = {
    {0x000000, "clBlack"}, {static_cast<std::int32_t>(0x8000000F), "clBtnFace"},
    {0x0000FF, "clRed"},   {0x0000FF, "clAlsoRed"},
    {0x00FF00, "cl@"},
};

TEST(PropertyAccessTest, IdentifierMapsConvertBothWays) {
  struct Case {
    std::string_view ident;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"clBtnFace", static_cast<std::int32_t>(0x8000000F)},
      {"clbtnface", static_cast<std::int32_t>(0x8000000F)},
      {"CLRED", 0x0000FF},
      {"clBtnFaces", std::nullopt},
      {"", std::nullopt},
      {"cl@", 0x00FF00},
      {"cl`", std::nullopt},  // only ASCII letters ignore case here
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ident);
    EXPECT_EQ(IdentToValue(c.ident, kColours), c.value);
  }
  EXPECT_EQ(ValueToIdent(0x0000FF, kColours), "clRed");  // the first entry of the value
  EXPECT_EQ(ValueToIdent(0, kColours), "clBlack");
  EXPECT_EQ(ValueToIdent(1, kColours), std::nullopt);
}

std::optional<std::int32_t> ColourToInt(std::string_view ident) { return IdentToValue(ident, kColours); }
std::optional<std::string_view> IntToColour(std::int32_t value) { return ValueToIdent(value, kColours); }
std::optional<std::int32_t> NothingToInt(std::string_view) { return std::nullopt; }
std::optional<std::string_view> IntToNothing(std::int32_t) { return std::nullopt; }

TEST(PropertyAccessTest, IdentifierRegistrationPicksExactlyItsTypeRecord) {
  // Two records of the same name and contents are still two types.
  static const TTypeInfo colour{
      .kind = TPropKind::pkInteger, .name = "TColor", .minValue = INT32_MIN, .maxValue = INT32_MAX};
  static const TTypeInfo lookalike = colour;
  static const TTypeInfo unregistered = colour;
  static const bool registered = [] {
    RegisterIdentMap(colour, ColourToInt, IntToColour);
    RegisterIdentMap(lookalike, NothingToInt, IntToNothing);
    RegisterIdentMap(colour, NothingToInt, IntToNothing);  // a later registration: never found
    return true;
  }();
  ASSERT_TRUE(registered);

  EXPECT_EQ(FindIdentMapper(colour), &ColourToInt);
  EXPECT_EQ(FindIntToIdent(colour), &IntToColour);
  EXPECT_EQ(FindIdentMapper(lookalike), &NothingToInt);
  EXPECT_EQ(FindIdentMapper(unregistered), nullptr);
  EXPECT_EQ(FindIntToIdent(unregistered), nullptr);
  EXPECT_EQ(FindIdentMapper(colour)("clbtnface"), static_cast<std::int32_t>(0x8000000F));
}

}  // namespace
}  // namespace tw
