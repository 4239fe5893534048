#include "core/Reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/FormLoading.h"
#include "core/PropertyAccess.h"
#include "core/StringList.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"
#include "tests/core/FormBytes.h"

namespace tw {
namespace {
enum TRdAlign : std::uint8_t { raLeft, raRight, raCenter };
enum TRdOption : std::uint8_t { roA, roB, roC };
// As many elements as a set holds (names below): the last one is bit 31.
enum TRdBit : std::uint8_t { rb0, rb31 = 31 };
}  // namespace

TW_ENUMERATION(TRdAlign, "raLeft", "raRight", "raCenter")
TW_ENUMERATION(TRdOption, "roA", "roB", "roC")
TW_ENUMERATION(TRdBit, "rb0", "rb1", "rb2", "rb3", "rb4", "rb5", "rb6", "rb7", "rb8", "rb9", "rb10", "rb11", "rb12",
               "rb13", "rb14", "rb15", "rb16", "rb17", "rb18", "rb19", "rb20", "rb21", "rb22", "rb23", "rb24", "rb25",
               "rb26", "rb27", "rb28", "rb29", "rb30", "rb31")

namespace {

using test::Sjis;
using Bytes = test::FormBytes;
using Log = std::vector<std::string>;

// ---- Classes the streams describe ---------------------------------------------------

Log* afterLoadLog = nullptr;
Log* freeLog = nullptr;

const TTypeInfo& RdColorType() {
  static const TTypeInfo info{.kind = TPropKind::pkInteger, .name = "TRdColor", .width = owSLong};
  return info;
}
constexpr TIdentMapEntry kRdColors[] = {{0x0000FF, "clRdRed"}, {static_cast<std::int32_t>(0x80000005), "clRdWindow"}};

void RegisterRdColors() {
  static const bool registered = [] {
    RegisterIdentMap(
        RdColorType(), [](std::string_view ident) { return IdentToValue(ident, kRdColors); },
        [](std::int32_t value) { return ValueToIdent(value, kRdColors); });
    return true;
  }();
  (void)registered;
}

class TRdFont : public TPersistent {
  TW_PUBLISHED_CLASS(TRdFont, TPersistent)
 public:
  std::int32_t height = 0;
  std::string name;
};
void TRdFont::Publish(Publisher& p) {
  TW_PROPERTY(Height, &Self::height, &Self::height);
  TW_PROPERTY(Name, &Self::name, &Self::name);
}

class TRdWidget : public TComponent {
  TW_PUBLISHED_CLASS(TRdWidget, TComponent)
 public:
  explicit TRdWidget(TComponent* owner) : TComponent(owner) {}
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::string caption;
  TRdAlign align = raLeft;
  Boolean visible = true;
  TSet<TRdOption> options;
  std::int32_t color = 0;
  long double ratio = 0;
  std::int64_t big = 0;
  TVariant data;
  char letter = 0;
  std::u16string wide;
  TRdWidget* buddy = nullptr;
  TNotifyEvent onClick;
  TRdFont font;
  TStringList items;
  TComponent* streamParent = nullptr;
  std::vector<std::pair<std::string, int>> placed;

  TRdFont* Font() const { return const_cast<TRdFont*>(&font); }
  TStringList* Items() const { return const_cast<TStringList*>(&items); }
  std::int32_t Fixed() const { return 7; }

  void AfterLoad() override {
    if (afterLoadLog) afterLoadLog->push_back(Name());
    Inherited::AfterLoad();
  }
  void BeforeFree() override {
    if (freeLog) freeLog->push_back(Name());
    Inherited::BeforeFree();
  }
  void SetStreamParent(TComponent* parent) override { streamParent = parent; }
  TComponent* StreamParentOf() const override { return streamParent; }
  void PlaceChildAt(TComponent& child, int position) override { placed.emplace_back(child.Name(), position); }
};
void TRdWidget::Publish(Publisher& p) {
  TW_PROPERTY(Left, &Self::left, &Self::left);
  TW_PROPERTY(Top, &Self::top, &Self::top);
  TW_PROPERTY(Caption, &Self::caption, &Self::caption);
  TW_PROPERTY(Align, &Self::align, &Self::align);
  TW_PROPERTY(Visible, &Self::visible, &Self::visible);
  TW_PROPERTY(Options, &Self::options, &Self::options);
  TW_PROPERTY(Ratio, &Self::ratio, &Self::ratio);
  TW_PROPERTY(Big, &Self::big, &Self::big);
  TW_PROPERTY(Data, &Self::data, &Self::data);
  TW_PROPERTY(Letter, &Self::letter, &Self::letter);
  TW_PROPERTY(Wide, &Self::wide, &Self::wide);
  TW_PROPERTY(Buddy, &Self::buddy, &Self::buddy);
  TW_PROPERTY(OnClick, &Self::onClick, &Self::onClick);
  TW_PROPERTY(Font, &Self::Font);
  TW_PROPERTY(Items, &Self::Items);
  TW_PROPERTY(Fixed, &Self::Fixed);
  p.Property<&Self::color, &Self::color>("Color", &RdColorType());
}

// A component without a position of its own, like a main menu.
class TRdMenu : public TComponent {
  TW_PUBLISHED_CLASS(TRdMenu, TComponent)
 public:
  explicit TRdMenu(TComponent* owner) : TComponent(owner) {}
  void AfterLoad() override {
    if (afterLoadLog) afterLoadLog->push_back(Name());
    Inherited::AfterLoad();
  }
};
void TRdMenu::Publish(Publisher&) {}

// A component with a value of bytes, read by a procedure of its own.
class TRdBlob : public TComponent {
  TW_PUBLISHED_CLASS(TRdBlob, TComponent)
 public:
  explicit TRdBlob(TComponent* owner) : TComponent(owner) {}
  std::string bytes;
  void DeclareCustomProperties(TFiler* filer) override {
    Inherited::DeclareCustomProperties(filer);
    filer->DefineBinaryCustomProperty("Blob", [this](TStream& stream) {
      bytes.resize(static_cast<std::size_t>(stream.Size()));
      stream.ReadBuffer(bytes.data(), bytes.size());
    });
  }
};
void TRdBlob::Publish(Publisher&) {}

// A collection of items with a caption each.
class TRdItem : public TPersistent {
  TW_PUBLISHED_CLASS(TRdItem, TPersistent)
 public:
  std::string caption;
};
void TRdItem::Publish(Publisher& p) { TW_PROPERTY(Caption, &Self::caption, &Self::caption); }

class TRdItems : public TCollection {
  TW_PUBLISHED_CLASS(TRdItems, TCollection)
 public:
  std::vector<std::unique_ptr<TRdItem>> items;
  int updates = 0;
  int clears = 0;
  void BeginUpdate() override { ++updates; }
  void EndUpdate() override { --updates; }
  void Clear() override {
    ++clears;
    items.clear();
  }
  TPersistent& Add() override { return *items.emplace_back(std::make_unique<TRdItem>()); }
};
void TRdItems::Publish(Publisher&) {}

class TRdList : public TComponent {
  TW_PUBLISHED_CLASS(TRdList, TComponent)
 public:
  explicit TRdList(TComponent* owner) : TComponent(owner) {}
  TRdItems entries;
  TRdItems* Entries() const { return const_cast<TRdItems*>(&entries); }
  void SetEntries(TRdItems*) {}
};
void TRdList::Publish(Publisher& p) { TW_PROPERTY(Entries, &Self::Entries, &Self::SetEntries); }

// Items that hold a collection of their own, so that collections nest as
// deeply as a stream makes them.
class TRdNode;
class TRdNodes : public TCollection {
  TW_PUBLISHED_CLASS(TRdNodes, TCollection)
 public:
  TRdNodes();
  ~TRdNodes() override;
  std::vector<std::unique_ptr<TRdNode>> items;
  int updates = 0;
  int clears = 0;
  void BeginUpdate() override { ++updates; }
  void EndUpdate() override { --updates; }
  void Clear() override;
  TPersistent& Add() override;
};
void TRdNodes::Publish(Publisher&) {}

class TRdNode : public TPersistent {
  TW_PUBLISHED_CLASS(TRdNode, TPersistent)
 public:
  std::string caption;
  TRdNodes nodes;
  TRdNodes* Nodes() const { return const_cast<TRdNodes*>(&nodes); }
  void SetNodes(TRdNodes*) {}
};
void TRdNode::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::caption, &Self::caption);
  TW_PROPERTY(Nodes, &Self::Nodes, &Self::SetNodes);
}

TRdNodes::TRdNodes() = default;
TRdNodes::~TRdNodes() = default;
void TRdNodes::Clear() {
  ++clears;
  items.clear();
}
TPersistent& TRdNodes::Add() { return *items.emplace_back(std::make_unique<TRdNode>()); }

// A widget with a tree of nodes and a set of all 32 bits.
class TRdTree : public TRdWidget {
  TW_PUBLISHED_CLASS(TRdTree, TRdWidget)
 public:
  explicit TRdTree(TComponent* owner) : TRdWidget(owner) {}
  TRdNodes nodes;
  TSet<TRdBit> bits;
  TRdNodes* Nodes() const { return const_cast<TRdNodes*>(&nodes); }
  void SetNodes(TRdNodes*) {}
};
void TRdTree::Publish(Publisher& p) {
  TW_PROPERTY(Nodes, &Self::Nodes, &Self::SetNodes);
  TW_PROPERTY(Bits, &Self::bits, &Self::bits);
}

// Like a frame, whose constructor loads its own resource unless it is part of
// a load already: it notes the state it was constructed in.
class TRdFrame : public TRdWidget {
  TW_PUBLISHED_CLASS(TRdFrame, TRdWidget)
 public:
  explicit TRdFrame(TComponent* owner) : TRdWidget(owner), stateAtConstruction(ComponentState()) {}
  TComponentFlags stateAtConstruction;
};
void TRdFrame::Publish(Publisher&) {}

class TRdForm : public TRdWidget {
  TW_PUBLISHED_CLASS(TRdForm, TRdWidget)
 public:
  explicit TRdForm(TComponent* owner) : TRdWidget(owner) {}
  TRdWidget* Button1 = nullptr;
  TRdWidget* Panel1 = nullptr;
  TRdMenu* MainMenu1 = nullptr;
  TRdBlob* Blob1 = nullptr;
  TRdList* List1 = nullptr;
  TRdFrame* Frame1 = nullptr;
  TRdFrame* Frame2 = nullptr;
  TRdMenu* menu = nullptr;
  TObject* clickedBy = nullptr;
  void ButtonClick(TObject* sender) { clickedBy = sender; }
  void CountClick(int) {}
};
void TRdForm::Publish(Publisher& p) {
  TW_FIELD(Button1);
  TW_FIELD(Panel1);
  TW_FIELD(MainMenu1);
  TW_FIELD(Blob1);
  TW_FIELD(List1);
  TW_FIELD(Frame1);
  TW_FIELD(Frame2);
  TW_METHOD(ButtonClick);
  TW_METHOD(CountClick);
  TW_PROPERTY(Menu, &Self::menu, &Self::menu);
}

TComponent* FindNothing(std::string_view) { return nullptr; }

std::string Wrapped(std::string_view path, std::string_view inner) {
  return Sjis(std::string(path) + " の読み込み中のエラー : " + std::string(inner));
}

// The start of a form stream: signature, root header and whatever properties follow.
Bytes FormStart() { return Bytes().Signature().Object("TRdForm", "Form1"); }

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterRdColors();
    // A finder that knows no form keeps root names as they are read.
    previousFinder_ = SetGlobalComponentFinder(&FindNothing);
    afterLoadLog = &log_;
    freeLog = &freed_;
  }
  void TearDown() override {
    afterLoadLog = nullptr;
    freeLog = nullptr;
    SetGlobalComponentFinder(previousFinder_);
  }

  // Reads the stream into form_, with an error hook that passes over (and
  // records) every error when ignoreErrors is set.
  void Load(const Bytes& bytes, bool ignoreErrors = false) {
    auto stream = bytes.Stream();
    TReader reader(*stream);
    if (ignoreErrors)
      reader.SetOnReadError({[](void* context, TReader&, std::string_view message, bool& handled) {
                               static_cast<Log*>(context)->emplace_back(message);
                               handled = true;
                             },
                             &errors_});
    reader.ReadRootObject(&form_);
  }
  std::string LoadError(const Bytes& bytes) {
    return test::MessageOf<Exception>([&] { Load(bytes); });
  }

  TRdForm form_{nullptr};
  Log log_;
  Log errors_;
  Log freed_;  // components that got their BeforeFree step
  TGlobalComponentFinder previousFinder_ = nullptr;
};

// ---- Low-level reads --------------------------------------------------------------------

TEST_F(ReaderTest, GivesBackUnreadBytesOnDestructionAndFlush) {
  Bytes bytes = Bytes().Signature().Raw({1, 2, 3, 4, 5, 6, 7, 8});
  auto stream = bytes.Stream();
  {
    TReader reader(*stream);
    reader.CheckSignature();
    EXPECT_EQ(reader.ReadTag(), 1);
    EXPECT_EQ(reader.Position(), 5);
  }
  EXPECT_EQ(stream->Position(), 5);
  TReader reader(*stream);
  EXPECT_EQ(reader.ReadTag(), 2);
  reader.FlushReadBuffer();
  EXPECT_EQ(stream->Position(), 6);
  EXPECT_EQ(reader.ReadTag(), 3);
}

TEST_F(ReaderTest, ReadsPastTheBufferAndFailsAtTheEnd) {
  const std::string text(300, 'x');
  Bytes bytes = Bytes().LStr(text).Int8(-1);
  auto stream = bytes.Stream();
  TReader reader(*stream, 16);
  EXPECT_EQ(reader.ReadTextValue(), text);
  EXPECT_EQ(reader.ReadIntValue(), -1);
  EXPECT_EQ(test::MessageOf<EReadError>([&] { reader.ReadTag(); }), Sjis("ストリームからの読み込みエラー"));
}

TEST_F(ReaderTest, WiderValuesAcceptIntegersInstead) {
  // 1.5 as an 80-bit extended value, then a single 2.25, currency 3 and an int64.
  Bytes bytes = Bytes()
                    .Raw({5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F})
                    .Raw({15, 0x00, 0x00, 0x10, 0x40})
                    .Raw({16, 0x30, 0x75, 0, 0, 0, 0, 0, 0})
                    .Raw({19, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})
                    .Int8(-3)
                    .Int16(7)
                    .Int8(2);
  auto stream = bytes.Stream();
  TReader reader(*stream);
  EXPECT_EQ(reader.ReadExtendedValue(), 1.5L);
  EXPECT_EQ(reader.ReadSingleValue(), 2.25f);
  EXPECT_EQ(reader.ReadCurrencyValue(), 30000);
  EXPECT_EQ(reader.ReadInt64Value(), -2);
  EXPECT_EQ(reader.ReadExtendedValue(), -3.0L);
  EXPECT_EQ(reader.ReadCurrencyValue(), 70000);
  EXPECT_EQ(reader.ReadDateValue(), 2.0);
}

TEST_F(ReaderTest, IdentifierValuesOfTheirOwnTags) {
  Bytes bytes = Bytes().Ident("bsDialog").Raw({8, 9, 13, 0});
  auto stream = bytes.Stream();
  TReader reader(*stream);
  for (const char* expected : {"bsDialog", "False", "True", "nil", "Null"})
    EXPECT_EQ(reader.ReadIdentValue(), expected);
}

TEST_F(ReaderTest, CharacterValueMustBeOneByte) {
  Bytes bytes = Bytes().Str("").Str("ab").Str("c");
  auto stream = bytes.Stream();
  TReader reader(*stream);
  EXPECT_EQ(test::MessageOf<EReadError>([&] { reader.ReadCharValue(); }), Sjis("不正なプロパティの値です"));
  EXPECT_EQ(test::MessageOf<EReadError>([&] { reader.ReadCharValue(); }), Sjis("不正なプロパティの値です"));
  EXPECT_EQ(reader.ReadCharValue(), 'c');  // the bad text was consumed
}

TEST_F(ReaderTest, BooleanReadTakesOneTagAndNoPayload) {
  Bytes bytes = Bytes().Raw({9, 8}).Int32(5);
  auto stream = bytes.Stream();
  TReader reader(*stream);
  EXPECT_TRUE(reader.ReadBoolValue());
  EXPECT_FALSE(reader.ReadBoolValue());
  EXPECT_FALSE(reader.ReadBoolValue());  // tag 4 alone
  EXPECT_EQ(reader.ReadTag(), 5);        // the first byte of its payload
}

TEST_F(ReaderTest, WrongTagSkipsTheWholeValue) {
  Bytes bytes = Bytes().List().Str("a").Set({"x", "y"}).List().Int32(1).End().End().Int8(42);
  auto stream = bytes.Stream();
  TReader reader(*stream);
  EXPECT_EQ(test::MessageOf<EReadError>([&] { reader.ReadIntValue(); }), Sjis("不正なプロパティの値です"));
  EXPECT_EQ(reader.ReadIntValue(), 42);
}

TEST_F(ReaderTest, SkipValueDataLandsAfterEveryKindOfValue) {
  // Each value in bytes, the collection with an item index and one property record.
  // clang-format off
  const std::vector<std::vector<int>> values = {
      {0}, {1, 2, 1, 6, 1, 'x', 0}, {2, 1}, {3, 1, 0}, {4, 1, 0, 0, 0}, {5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
      {6, 2, 'a', 'b'}, {7, 1, 'i'}, {8}, {9}, {10, 3, 0, 0, 0, 1, 2, 3}, {11, 1, 'a', 1, 'b', 0},
      {12, 1, 0, 0, 0, 'z'}, {13}, {14, 2, 0, 1, 1, 'C', 6, 1, 'a', 0, 1, 0, 0}, {15, 1, 2, 3, 4},
      {16, 1, 2, 3, 4, 5, 6, 7, 8}, {17, 1, 2, 3, 4, 5, 6, 7, 8}, {18, 2, 0, 0, 0, 0x41, 0, 0x42, 0},
      {19, 1, 2, 3, 4, 5, 6, 7, 8}, {99}};
  // clang-format on
  for (std::size_t i = 0; i < values.size(); ++i) {
    Bytes bytes;
    for (int b : values[i]) bytes.Raw({b});
    auto stream = bytes.Raw({0x2A}).Stream();
    TReader reader(*stream);
    reader.SkipValueData();
    EXPECT_EQ(reader.ReadTag(), 0x2A) << "value " << i;
  }
}

TEST_F(ReaderTest, DeepNestingIsAFormatErrorNotACrash) {
  Bytes bytes;
  for (int i = 0; i < 100000; ++i) bytes.List();
  auto stream = bytes.Stream();
  TReader reader(*stream);
  EXPECT_EQ(test::MessageOf<EReadError>([&] { reader.SkipValueData(); }), Sjis("不正なストリーム フォーマット"));
}

// ---- Nesting limit -------------------------------------------------------------------------

// Reads the stream into the tree, whose children may be trees too. The error
// hook passes over (and records) every error but a format error, so a stream
// that gets past a skipped value must have been left at the next record.
void LoadTree(TRdTree& tree, const Bytes& bytes, Log& errors) {
  auto stream = bytes.Stream();
  TReader reader(*stream);
  reader.SetOnResolveClass({[](void*, TReader&, std::string_view name, const TClassInfo*& cls) {
                              if (name == "TRdTree") cls = &TRdTree::StaticClassInfo();
                            },
                            nullptr});
  reader.SetOnReadError({[](void* context, TReader&, std::string_view message, bool& handled) {
                           static_cast<Log*>(context)->emplace_back(message);
                           handled = message.find(Sjis("不正なストリーム フォーマット")) == std::string_view::npos;
                         },
                         &errors});
  reader.ReadRootObject(&tree);
}

Bytes TreeStart() { return Bytes().Signature().Object("TRdTree", "Tree1"); }

Bytes NestedLists(int depth) {
  Bytes bytes;
  for (int i = 0; i < depth; ++i) bytes.List();
  for (int i = 0; i < depth; ++i) bytes.End();
  return bytes;
}

// A collection value of one item whose property `path` holds the next such
// value; the innermost item has the records `innermost`.
Bytes NestedCollections(int depth, std::string_view path, const Bytes& innermost) {
  Bytes bytes;
  for (int i = 0; i < depth; ++i) {
    if (i > 0) bytes.Prop(path);
    bytes.Raw({14}).List();
  }
  bytes.Append(innermost);
  for (int i = 0; i < depth; ++i) bytes.End().End();  // the item's records, then the collection
  return bytes;
}

// Child records C1, C2, ... each inside the one before; the innermost is of
// the class given and has the records `innermost`.
Bytes NestedChildren(int depth, std::string_view innermostClass, const Bytes& innermost) {
  Bytes bytes;
  for (int i = 1; i <= depth; ++i) {
    bytes.Object(i == depth ? innermostClass : "TRdTree", "C" + std::to_string(i));
    if (i == depth) bytes.Append(innermost);
    bytes.End();
  }
  for (int i = 0; i < depth; ++i) bytes.End();
  return bytes;
}

std::string InnermostCaption(const TRdNodes& nodes) {
  const TRdNode* node = nullptr;
  for (const TRdNodes* level = &nodes; !level->items.empty(); level = &node->nodes) node = level->items[0].get();
  return node ? node->caption : "<no node>";
}

std::string CaptionOf(const TComponent* component) {
  return component ? static_cast<const TRdWidget*>(component)->caption : "<not read>";
}

// Objects, list values and collections, read or skipped, count on one depth:
// a stream nested exactly to the limit is read, one level more is a format
// error. Each stream sets a caption after its deepest point, which shows that
// the reader got past it at the right place.
TEST_F(ReaderTest, NestingUpToTheLimitIsReadOneMoreIsAFormatError) {
  const Bytes deep = Bytes().Prop("Caption").Str("deep");
  struct Case {
    const char* what;
    std::function<Bytes(int depth)> stream;
    std::function<std::string(const TRdTree&, int depth)> caption;
    std::size_t errors;  // passed over on the way
  };
  const Case cases[] = {
      {"objects", [&](int d) { return TreeStart().End().Append(NestedChildren(d, "TRdTree", deep)).End(); },
       [](const TRdTree& t, int d) { return CaptionOf(t.FindOwned("C" + std::to_string(d))); }, 0},
      {"list values (skipped)",
       [&](int d) { return TreeStart().Prop("Left").Append(NestedLists(d)).Append(deep).End().End(); },
       [](const TRdTree& t, int) { return t.caption; }, 1},
      {"collections",
       [&](int d) { return TreeStart().Prop("Nodes").Append(NestedCollections(d, "Nodes", deep)).End().End(); },
       [](const TRdTree& t, int) { return InnermostCaption(t.nodes); }, 0},
      {"collections (skipped)",
       [&](int d) {
         return TreeStart().Prop("Junk").Append(NestedCollections(d, "Junk", Bytes())).Append(deep).End().End();
       },
       [](const TRdTree& t, int) { return t.caption; }, 1},
      {"objects (skipped after an unknown class)",
       [&](int d) {
         Bytes bytes = TreeStart().End().Object("TNoSuchClass", "X").End();
         bytes.Append(NestedChildren(d - 1, "TRdTree", Bytes())).End();
         return bytes.Object("TRdTree", "After").Append(deep).End().End().End();
       },
       [](const TRdTree& t, int) { return CaptionOf(t.FindOwned("After")); }, 1},
      {"objects, collections and list values",
       [&](int d) {
         const int third = kMaxReadNesting / 3;
         const Bytes item = Bytes().Prop("Junk").Append(NestedLists(d - 2 * third)).Append(deep);
         const Bytes tree = Bytes().Prop("Nodes").Append(NestedCollections(third, "Nodes", item));
         return TreeStart().End().Append(NestedChildren(third, "TRdTree", tree)).End();
       },
       [](const TRdTree& t, int) {
         const auto* inner = static_cast<const TRdTree*>(t.FindOwned("C" + std::to_string(kMaxReadNesting / 3)));
         return inner ? InnermostCaption(inner->nodes) : "<not read>";
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Log errors;
    TRdTree atLimit(nullptr);
    std::string failure;
    try {
      LoadTree(atLimit, c.stream(kMaxReadNesting), errors);
    } catch (const Exception& e) {
      failure = e.Message();
    }
    EXPECT_EQ(failure, "");
    EXPECT_EQ(c.caption(atLimit, kMaxReadNesting), "deep");
    EXPECT_EQ(errors.size(), c.errors);

    TRdTree beyond(nullptr);
    const std::string message =
        test::MessageOf<EReadError>([&] { LoadTree(beyond, c.stream(kMaxReadNesting + 1), errors); });
    EXPECT_NE(message.find(Sjis("不正なストリーム フォーマット")), std::string::npos) << message;
  }
}

TEST_F(ReaderTest, FlagsByteOnlyWhenTheNextByteIsF0OrAbove) {
  Bytes bytes = Bytes().Raw({0xF2}).Int8(3).Raw({0xFD}).Raw({0xEF});
  auto stream = bytes.Stream();
  TReader reader(*stream);
  TObjectPrefix prefix = reader.ReadObjectFlags();
  EXPECT_EQ(prefix.flags, TObjectFlags{ofChildPos});
  EXPECT_EQ(prefix.childPosition, 3);
  prefix = reader.ReadObjectFlags();  // 0xFD: inherited, inline and the meaningless bit 3
  EXPECT_EQ(prefix.flags.Bits(), 0x0Du);
  EXPECT_TRUE(reader.ReadObjectFlags().flags.Empty());
  EXPECT_EQ(reader.ReadTag(), 0xEF);
}

// ---- Whole streams: format errors -----------------------------------------------------------

TEST_F(ReaderTest, StreamErrorsOfTheFormat) {
  EXPECT_EQ(LoadError(Bytes().Signature()), Sjis("ストリームからの読み込みエラー"));
  EXPECT_EQ(LoadError(Bytes().Text("TPF1").Object("TRdForm", "Form1").End().End()),
            Sjis("不正なストリーム フォーマット"));
  EXPECT_EQ(LoadError(Bytes().Text("TP")), Sjis("ストリームからの読み込みエラー"));
}

// ---- Properties ------------------------------------------------------------------------------

TEST_F(ReaderTest, LeftAsAnyIntegerWidth) {
  for (const Bytes& value : {Bytes().Int8(100), Bytes().Int16(100), Bytes().Int32(100)}) {
    form_.left = 0;
    Load(FormStart().Prop("Left").Append(value).End().End());
    EXPECT_EQ(form_.left, 100);
  }
}

TEST_F(ReaderTest, SubobjectPathSetsThePropertyOfTheObjectFound) {
  Load(FormStart().Prop("Font.Height").Int8(0xF4).Prop("font.NAME").Str("MS UI Gothic").End().End());
  EXPECT_EQ(form_.font.height, -12);
  EXPECT_EQ(form_.font.name, "MS UI Gothic");
}

TEST_F(ReaderTest, ValuesOfEveryPropertyKind) {
  const std::string japanese = Sjis("計算");
  Bytes bytes = FormStart();
  bytes.Prop("Caption").Str(japanese).Prop("Align").Ident("RACENTER").Prop("Visible").Raw({8});
  bytes.Prop("Options").Set({"roA", "roC"}).Prop("Color").Ident("clrdwindow").Prop("Letter").Str("Q");
  bytes.Prop("Ratio").Raw({5, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0xBF}).Prop("Big").Raw({19, 0, 0, 0, 0, 1, 0, 0, 0});
  bytes.Prop("Wide").Str("AB").Prop("Tag").Int16(-2).End().End();
  Load(bytes);
  EXPECT_EQ(form_.caption, japanese);
  EXPECT_EQ(form_.align, raCenter);
  EXPECT_FALSE(form_.visible);
  EXPECT_EQ(form_.options, (TSet<TRdOption>{roA, roC}));
  EXPECT_EQ(form_.color, static_cast<std::int32_t>(0x80000005));
  EXPECT_EQ(form_.ratio, -1.5L);
  EXPECT_EQ(form_.big, std::int64_t{1} << 32);
  EXPECT_EQ(form_.letter, 'Q');
  EXPECT_EQ(form_.wide, u"AB");
  EXPECT_EQ(form_.Tag(), -2);
}

TEST_F(ReaderTest, VariantTakesTheTypeOfItsTag) {
  struct Case {
    Bytes value;
    TVariant expected;
  };
  const Case cases[] = {
      {Bytes().Raw({0}), TVariant::Null()},
      {Bytes().Raw({13}), TVariant()},
      {Bytes().Int8(-5), TVariant::Int8(-5)},
      {Bytes().Int16(300), TVariant::Int16(300)},
      {Bytes().Int32(70000), TVariant::Int32(70000)},
      {Bytes().Str("s"), TVariant::Text("s")},
      {Bytes().LStr("long"), TVariant::Text("long")},
      {Bytes().Raw({9}), TVariant::Boolean(true)},
      {Bytes().Raw({16, 0x10, 0x27, 0, 0, 0, 0, 0, 0}), TVariant::CurrencyScaled(10000)},
      {Bytes().Raw({18}).Le32(1).Raw({0x42, 0x30}), TVariant::WideText(u"\u3042")},
  };
  for (const Case& c : cases) {
    form_.data = TVariant::Int32(99);
    Load(FormStart().Prop("Data").Append(c.value).End().End());
    EXPECT_EQ(form_.data, c.expected);
  }
  EXPECT_EQ(LoadError(FormStart().Prop("Data").Ident("x").End().End()),
            Wrapped("Form1.Data", "ストリームからの読み込みエラー"));
}

TEST_F(ReaderTest, EmptySetClearsEveryElement) {
  form_.options = {roA, roB};
  Load(FormStart().Prop("Options").Set({}).End().End());
  EXPECT_TRUE(form_.options.Empty());
}

TEST_F(ReaderTest, StringsReplaceTheLinesInOneBatch) {
  form_.items.AddLine("old");
  int changes = 0;
  form_.items.SetOnLinesChanged([&](TStringList&) { ++changes; });
  Load(FormStart().Prop("Items.Strings").List().Str("0").Str("56").LStr("128").End().End().End());
  ASSERT_EQ(form_.items.LineCount(), 3);
  EXPECT_EQ(form_.items.LineAt(0), "0");
  EXPECT_EQ(form_.items.LineAt(2), "128");
  EXPECT_EQ(changes, 1);

  Load(FormStart().Prop("Items.Strings").List().End().End().End());
  EXPECT_EQ(form_.items.LineCount(), 0);
  EXPECT_EQ(form_.items.BatchDepth(), 0);
}

TEST_F(ReaderTest, HandlersBindToTheRootsPublishedMethods) {
  Bytes bytes = FormStart().Prop("OnClick").Ident("buttonclick").End();
  bytes.Object("TRdWidget", "Button1").Prop("OnClick").Ident("ButtonClick").End().End().End();
  Load(bytes);
  ASSERT_NE(form_.Button1, nullptr);
  form_.Button1->onClick(form_.Button1);
  EXPECT_EQ(form_.clickedBy, form_.Button1);
  EXPECT_EQ(form_.onClick.handler.receiver, &form_);

  Load(FormStart().Prop("OnClick").Raw({13}).End().End());
  EXPECT_FALSE(form_.onClick);
}

// Every property-level error names the object and path and carries the cause.
TEST_F(ReaderTest, PropertyErrorsAreWrappedWithThePath) {
  struct Case {
    const char* path;
    Bytes value;
    const char* cause;
  };
  const Case cases[] = {
      {"Left", Bytes().Str("x"), "不正なプロパティの値です"},
      {"Nope", Bytes().Int8(1), "プロパティが存在しません"},
      {"Caption.Height", Bytes().Int8(1), "不正なプロパティのパスです"},
      {"Buddy.Caption", Bytes().Str("x"), "不正なプロパティのパスです"},
      {"Nope.Caption", Bytes().Str("x"), "プロパティが存在しません"},
      {"Fixed", Bytes().Int8(1), "プロパティは書き込み禁止です"},
      {"Align", Bytes().Ident("raNowhere"), "不正なプロパティの値です"},
      {"Options", Bytes().Set({"roA", "roX", "roC"}), "不正なプロパティの値です"},
      {"Color", Bytes().Ident("clNoSuchColour"), "不正なプロパティの値です"},
      {"Tag", Bytes().Ident("notANumber"), "不正なプロパティの値です"},
      {"OnClick", Bytes().Ident("NoSuchMethod"), "不正なプロパティの値です"},
      {"OnClick", Bytes().Ident("CountClick"), "不正なプロパティの値です"},
      {"Items.Strings", Bytes().Str("not a list"), "不正なプロパティの値です"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LoadError(FormStart().Prop(c.path).Append(c.value).End().End()),
              Wrapped(std::string("Form1.") + c.path, c.cause))
        << c.path;
  }
  // A stream that ends inside a value.
  EXPECT_EQ(LoadError(FormStart().Prop("Left").Raw({4, 1, 2})),
            Wrapped("Form1.Left", "ストリームからの読み込みエラー"));
  // An unnamed object is named by its class.
  EXPECT_EQ(LoadError(Bytes().Signature().Object("TRdForm", "").Prop("Nope").Int8(1).End().End()),
            Wrapped("TRdForm.Nope", "プロパティが存在しません"));
}

// A hook that passes over errors finds the reader at the next record each time.
TEST_F(ReaderTest, IgnoredErrorsContinueWithTheNextRecord) {
  form_.options = {roB};
  Bytes bytes = FormStart();
  bytes.Prop("Left").List().Str("a").End().Prop("Nope").Set({"a", "b"}).Prop("Caption.X").LStr("xyz");
  bytes.Prop("Options").Set({"roA", "bad", "roC"}).Prop("Fixed").Int32(9).Prop("Top").Int8(33).End().End();
  Load(bytes, true);
  EXPECT_EQ(form_.top, 33);
  EXPECT_EQ(form_.options, TSet<TRdOption>{roB});
  EXPECT_EQ(errors_,
            (Log{Wrapped("Form1.Left", "不正なプロパティの値です"), Wrapped("Form1.Nope", "プロパティが存在しません"),
                 Wrapped("Form1.Caption.X", "不正なプロパティのパスです"),
                 Wrapped("Form1.Options", "不正なプロパティの値です"),
                 Wrapped("Form1.Fixed", "プロパティは書き込み禁止です")}));
}

// Errors inside a custom property are never passed over: its extent is unknown.
TEST_F(ReaderTest, CustomPropertyErrorsAreNotIgnored) {
  EXPECT_EQ(test::MessageOf<EReadError>(
                [&] { Load(FormStart().Prop("Items.Strings").List().Int8(1).End().End().End(), true); }),
            Wrapped("Form1.Items.Strings", "不正なプロパティの値です"));
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(form_.items.BatchDepth(), 0);
}

TEST_F(ReaderTest, BinaryCustomProperty) {
  Bytes bytes = FormStart().End();
  bytes.Object("TRdBlob", "Blob1").Prop("Blob").Raw({10}).Le32(3).Text("abc").End().End();
  bytes.Object("TRdBlob", "Blob2").Prop("Blob").Str("no").Prop("Tag").Int8(4).End().End().End();
  Load(bytes, true);
  ASSERT_NE(form_.Blob1, nullptr);
  EXPECT_EQ(form_.Blob1->bytes, "abc");
  auto* blob2 = static_cast<TRdBlob*>(form_.FindOwned("Blob2"));
  ASSERT_NE(blob2, nullptr);
  EXPECT_EQ(blob2->Tag(), 4);  // the bad value was skipped and the error could be passed over
  EXPECT_EQ(errors_, Log{Wrapped("Blob2.Blob", "不正なプロパティの値です")});
}

TEST_F(ReaderTest, CollectionItemsReplaceTheOldOnes) {
  Bytes bytes = FormStart().End();
  bytes.Object("TRdList", "List1").Prop("Entries").Raw({14});
  bytes.List().Prop("Caption").Str("one").End();
  bytes.Int8(5).List().Prop("Caption").Str("two").End();
  bytes.End().End().End().End();
  Load(bytes);
  ASSERT_NE(form_.List1, nullptr);
  const TRdItems& entries = form_.List1->entries;
  ASSERT_EQ(entries.items.size(), 2u);
  EXPECT_EQ(entries.items[0]->caption, "one");
  EXPECT_EQ(entries.items[1]->caption, "two");
  EXPECT_EQ(entries.clears, 1);
  EXPECT_EQ(entries.updates, 0);
}

// An empty collection value names no items: the collection keeps its own.
TEST_F(ReaderTest, CollectionValueReplacesItemsOnlyWhenItHasSome) {
  struct Case {
    const char* what;
    Bytes value;
    std::vector<std::string> captions;
    int clears;
  };
  const Case cases[] = {
      {"empty", Bytes().Raw({14}).End(), {"a", "b"}, 0},
      {"one item", Bytes().Raw({14}).List().Prop("Caption").Str("c").End().End(), {"c"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRdTree tree(nullptr);
    for (const char* caption : {"a", "b"}) static_cast<TRdNode&>(tree.nodes.Add()).caption = caption;
    Log errors;
    LoadTree(tree, TreeStart().Prop("Nodes").Append(c.value).Prop("Tag").Int8(1).End().End(), errors);
    std::vector<std::string> captions;
    for (const auto& node : tree.nodes.items) captions.push_back(node->caption);
    EXPECT_EQ(captions, c.captions);
    EXPECT_EQ(tree.nodes.clears, c.clears);
    EXPECT_EQ(tree.nodes.updates, 0);
    EXPECT_EQ(tree.Tag(), 1);
    EXPECT_TRUE(errors.empty());
  }
}

// A set of 32 elements uses every bit of the 32-bit set.
TEST_F(ReaderTest, SetOfThirtyTwoElementsReachesBit31) {
  struct Case {
    Bytes value;
    std::uint32_t bits;
  };
  const Case cases[] = {
      {Bytes().Set({"rb31"}), 0x80000000u},
      {Bytes().Set({"RB0", "rb31"}), 0x80000001u},
      {Bytes().Set({"rb30"}), 0x40000000u},
  };
  for (const Case& c : cases) {
    TRdTree tree(nullptr);
    Log errors;
    LoadTree(tree, TreeStart().Prop("Bits").Append(c.value).End().End(), errors);
    EXPECT_EQ(tree.bits.Bits(), c.bits);
    EXPECT_TRUE(errors.empty());
  }
}

// ---- Child records ------------------------------------------------------------------------------

TEST_F(ReaderTest, ChildrenAreOwnedByTheRootAndParentedToTheirRecord) {
  Bytes bytes = FormStart().End();
  bytes.Object("TRdWidget", "Panel1").Prop("Left").Int8(1).End();
  bytes.Raw({0xF2}).Int8(3).Object("TRdWidget", "Button1").End().End();
  bytes.End();  // Panel1's children
  bytes.End();  // the root's children
  Load(bytes);
  ASSERT_NE(form_.Panel1, nullptr);
  ASSERT_NE(form_.Button1, nullptr);
  EXPECT_EQ(form_.Button1->Owner(), &form_);
  EXPECT_EQ(form_.Button1->streamParent, form_.Panel1);
  EXPECT_EQ(form_.Panel1->streamParent, &form_);
  EXPECT_EQ(form_.Panel1->placed, (std::vector<std::pair<std::string, int>>{{"Button1", 3}}));
  EXPECT_FALSE(form_.Button1->HasState(stLoading));
  EXPECT_FALSE(form_.Button1->HasState(stReading));
}

TEST_F(ReaderTest, RootFirstThenEveryChildAfterItsChildren) {
  Bytes bytes = FormStart().End();
  bytes.Object("TRdWidget", "A").End();
  bytes.Object("TRdWidget", "A1").End().End();
  bytes.Object("TRdWidget", "A2").End();
  bytes.Object("TRdWidget", "A2x").End().End();
  bytes.End();  // A2
  bytes.End();  // A
  bytes.Object("TRdMenu", "B").End().End();
  bytes.End();
  Load(bytes);
  EXPECT_EQ(log_, (Log{"Form1", "A1", "A2x", "A2", "A", "B"}));
}

// Like a form's main menu: the reference is read before the menu exists.
TEST_F(ReaderTest, ReferencesAreResolvedAfterTheWholeTree) {
  Bytes bytes = FormStart().Prop("Menu").Ident("MainMenu1").End();
  bytes.Object("TRdWidget", "Button1").Prop("Buddy").Ident("Panel1").End().End();
  bytes.Object("TRdWidget", "Panel1").Prop("Buddy").Ident("Nowhere").End().End();
  bytes.Object("TRdMenu", "MainMenu1").Prop("Top").Int16(168).Prop("Left").Int8(8).End().End();
  bytes.End();
  Load(bytes);
  ASSERT_NE(form_.MainMenu1, nullptr);
  EXPECT_EQ(form_.menu, form_.MainMenu1);
  EXPECT_EQ(form_.Button1->buddy, form_.Panel1);
  EXPECT_EQ(form_.Panel1->buddy, nullptr);
  EXPECT_EQ(form_.MainMenu1->DesignTop(), 168);
  EXPECT_EQ(form_.MainMenu1->DesignLeft(), 8);
  EXPECT_EQ(PendingReferenceList().Count(), 0u);
}

TEST_F(ReaderTest, ChildRecordErrors) {
  Bytes unknown = FormStart().End();
  unknown.Object("TNoSuchClass", "X").End().End().End();
  EXPECT_EQ(test::MessageOf<EClassNotFound>([&] { Load(unknown); }), Sjis("クラス TNoSuchClass が見つかりません"));

  // A class that is known but is no component cannot be created from a stream.
  Bytes notComponent = FormStart().End();
  notComponent.Object("TStringList", "X").End().End().End();
  EXPECT_EQ(test::MessageOf<EClassNotFound>([&] { Load(notComponent); }), Sjis("クラス TStringList が見つかりません"));

  Bytes ghost = FormStart().End();
  ghost.Raw({0xF1}).Object("TRdWidget", "Ghost").End().End().End();
  EXPECT_EQ(test::MessageOf<EReadError>([&] { Load(ghost); }), Sjis("'Ghost' の継承元が存在しません"));

  Bytes badName = FormStart().End();
  badName.Object("TRdWidget", "1abc").End().End().End();
  EXPECT_EQ(test::MessageOf<EComponentError>([&] { Load(badName); }), Sjis("コンポーネント名に ''1abc'' は使えません"));
  EXPECT_EQ(form_.OwnedCount(), 0);
}

// A reported error drops the child record and the component it created.
TEST_F(ReaderTest, IgnoredChildErrorsSkipTheWholeRecord) {
  Bytes bytes = FormStart().End();
  bytes.Object("TNoSuchClass", "X").Prop("Left").Int8(1).End();
  bytes.Object("TRdWidget", "Inner").End().End();
  bytes.End();
  bytes.Object("TRdWidget", "Panel1").End().End();
  bytes.Object("TRdWidget", "Panel1").End().End();  // a taken name
  bytes.Object("TRdWidget", "Button1").End().End();
  bytes.End();
  Load(bytes, true);
  EXPECT_EQ(errors_, (Log{Sjis("クラス TNoSuchClass が見つかりません"),
                          Sjis("コンポーネント名 Panel1 はすでに使われています")}));
  EXPECT_EQ(form_.OwnedCount(), 2);
  EXPECT_NE(form_.Panel1, nullptr);
  EXPECT_NE(form_.Button1, nullptr);
  EXPECT_EQ(log_, (Log{"Form1", "Panel1", "Button1"}));
  EXPECT_EQ(freed_, Log{""});  // the second Panel1, which kept no name
}

// A component created by a record goes when the rest of its record fails;
// components read before it stay with the root.
TEST_F(ReaderTest, FailedRecordFreesWhatItCreated) {
  Bytes bytes = FormStart().End();
  bytes.Object("TRdWidget", "Panel1").End().End();
  bytes.Object("TRdWidget", "Button1").Prop("Left").Int8(1).End();
  bytes.Object("TRdWidget", "Inner").Prop("Nope").Int8(1).End().End();
  bytes.End();
  bytes.End();
  EXPECT_EQ(LoadError(bytes), Wrapped("Inner.Nope", "プロパティが存在しません"));
  EXPECT_EQ(form_.Button1, nullptr);
  EXPECT_EQ(form_.FindOwned("Inner"), nullptr);
  EXPECT_EQ(form_.OwnedCount(), 1);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(freed_, (Log{"Inner", "Button1"}));
}

// A record flagged inline creates a component that is loading and inline
// before its constructor runs; any other starts with an empty state.
TEST_F(ReaderTest, InlineRecordMarksTheChildBeforeItsConstructorRuns) {
  Bytes bytes = FormStart().End();
  bytes.Raw({0xF4}).Object("TRdFrame", "Frame1").End().End();
  bytes.Object("TRdFrame", "Frame2").End().End();
  bytes.End();
  Load(bytes);
  ASSERT_NE(form_.Frame1, nullptr);
  ASSERT_NE(form_.Frame2, nullptr);
  EXPECT_EQ(form_.Frame1->stateAtConstruction, (TComponentFlags{stLoading, stInline}));
  EXPECT_TRUE(form_.Frame2->stateAtConstruction.Empty());
  EXPECT_TRUE(form_.Frame1->HasState(stInline));
  EXPECT_FALSE(form_.Frame2->HasState(stInline));
  EXPECT_EQ(log_, (Log{"Form1", "Frame1", "Frame2"}));
}

TEST_F(ReaderTest, InheritedRecordsUpdateExistingComponents) {
  auto* button = new TRdWidget(&form_);
  button->Rename("Button1");
  button->streamParent = &form_;
  Bytes bytes = FormStart().End();
  bytes.Raw({0xF1}).Object("TRdWidget", "BUTTON1").Prop("Caption").Str("OK").End().End();
  bytes.End();
  Load(bytes);
  EXPECT_EQ(form_.OwnedCount(), 1);
  EXPECT_EQ(button->caption, "OK");
  EXPECT_EQ(log_, (Log{"Form1", "Button1"}));
}

TEST_F(ReaderTest, HooksCanChangeClassesNamesAndObjects) {
  struct Seen {
    Log names;
    TComponent* supplied = nullptr;
  } seen;
  Bytes bytes = FormStart().End();
  bytes.Object("TPanelAlias", "Panel1").End().End();
  bytes.Object("TRdWidget", "Temp").End().End();
  bytes.End();
  auto stream = bytes.Stream();
  TReader reader(*stream);
  reader.SetOnResolveClass({[](void*, TReader&, std::string_view name, const TClassInfo*& cls) {
                              if (name == "TPanelAlias") cls = &TRdWidget::StaticClassInfo();
                            },
                            nullptr});
  reader.SetOnSetObjectName({[](void* context, TReader&, TComponent&, std::string& name) {
                               static_cast<Seen*>(context)->names.push_back(name);
                               if (name == "Temp") name = "Button1";
                             },
                             &seen});
  reader.SetOnCreateObject({[](void* context, TReader& r, const TClassInfo& cls, TComponent*& component) {
                              if (&cls != &TRdWidget::StaticClassInfo()) return;
                              component = new TRdWidget(r.Owner());
                              static_cast<Seen*>(context)->supplied = component;
                            },
                            &seen});
  reader.ReadRootObject(&form_);
  EXPECT_EQ(seen.names, (Log{"Panel1", "Temp"}));
  ASSERT_NE(form_.Button1, nullptr);
  EXPECT_EQ(seen.supplied, form_.Button1);
  EXPECT_NE(form_.Panel1, nullptr);
}

TEST_F(ReaderTest, MethodLookupHookMaySupplyOrExcuse) {
  struct Choice {
    bool excuse;
  } choice{true};
  auto stream = FormStart().Prop("OnClick").Ident("Elsewhere").End().End().Stream();
  TReader reader(*stream);
  reader.SetOnMethodLookup({[](void* context, TReader&, std::string_view, TMethodCode&, bool& error) {
                              if (static_cast<Choice*>(context)->excuse) error = false;
                            },
                            &choice});
  form_.onClick.Bind(&form_, &TRdForm::ButtonClick);
  reader.ReadRootObject(&form_);
  EXPECT_TRUE(form_.onClick);  // an empty result without an error leaves the handler
}

}  // namespace
}  // namespace tw
