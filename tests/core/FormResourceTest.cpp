// The shipped window descriptions as the program finds them among its raw-data
// resources: their bytes, and their trees decoded by a deliberately small walk
// that knows tags and payload sizes and nothing of the classes behind them.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/Platform.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

using test::Sjis;
using namespace std::string_literals;

struct Value {
  int tag = -1;
  std::int32_t number = 0;         // tags 2, 3, 4
  std::string text;                // tags 6, 7, 12
  std::vector<Value> items;        // tag 1
  std::vector<std::string> names;  // tag 11
};

struct Record {
  int flags = 0;
  std::string className;
  std::string name;
  std::vector<std::pair<std::string, Value>> properties;
  std::vector<Record> children;

  const Value* Property(std::string_view path) const {
    for (auto& [p, v] : properties)
      if (p == path) return &v;
    return nullptr;
  }
};

class Walker {
 public:
  explicit Walker(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  Record Stream() {
    if (Raw(4) != "TPF0") throw std::runtime_error("no signature");
    Record root = Object();
    if (pos_ != bytes_.size()) throw std::runtime_error("bytes after the root record");
    return root;
  }

 private:
  std::uint8_t Peek() const {
    if (pos_ >= bytes_.size()) throw std::runtime_error("stream ends early");
    return bytes_[pos_];
  }

  std::uint8_t Byte() {
    std::uint8_t b = Peek();
    ++pos_;
    return b;
  }

  std::string Raw(std::size_t n) {
    if (n > bytes_.size() - pos_) throw std::runtime_error("stream ends early");
    std::string out(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
    pos_ += n;
    return out;
  }

  std::uint32_t Little(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return v;
  }

  std::string ShortText() { return Raw(Byte()); }

  Value Read() {
    Value v;
    v.tag = Byte();
    switch (v.tag) {
      case 1:
        while (Peek() != 0) v.items.push_back(Read());
        Byte();
        break;
      case 2: v.number = static_cast<std::int8_t>(Little(1)); break;
      case 3: v.number = static_cast<std::int16_t>(Little(2)); break;
      case 4: v.number = static_cast<std::int32_t>(Little(4)); break;
      case 6:
      case 7: v.text = ShortText(); break;
      case 8:
      case 9:
      case 13: break;
      case 11:
        for (std::string n = ShortText(); !n.empty(); n = ShortText()) v.names.push_back(n);
        break;
      case 12: v.text = Raw(Little(4)); break;
      default: throw std::runtime_error("tag " + std::to_string(v.tag) + " is not used by the shipped forms");
    }
    return v;
  }

  Record Object() {
    Record r;
    if (Peek() >= 0xF0) r.flags = Byte() & 0x0F;
    r.className = ShortText();
    r.name = ShortText();
    while (Peek() != 0) {
      std::string path = ShortText();
      r.properties.emplace_back(path, Read());
    }
    Byte();
    while (Peek() != 0) r.children.push_back(Object());
    Byte();
    return r;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

std::string ResourceBytes(std::string_view name) {
  auto found = platform::FindRawResource(name);
  if (!found) return {};
  return std::string(reinterpret_cast<const char*>(found->data()), found->size());
}

Record Decode(std::string_view name) {
  auto found = platform::FindRawResource(name);
  if (!found) throw std::runtime_error("no resource " + std::string(name));
  return Walker(*found).Stream();
}

// Component names and classes in stream order, the root left out.
void Flatten(const Record& r, std::vector<std::pair<std::string, std::string>>& out) {
  for (auto& child : r.children) {
    out.emplace_back(child.name, child.className);
    Flatten(child, out);
  }
}

const Record* Find(const Record& r, std::string_view name) {
  if (r.name == name) return &r;
  for (auto& child : r.children)
    if (const Record* found = Find(child, name)) return found;
  return nullptr;
}

std::vector<std::string> Texts(const Value& list) {
  std::vector<std::string> out;
  for (auto& item : list.items) out.push_back(item.tag == 6 ? item.text : "<tag " + std::to_string(item.tag) + ">");
  return out;
}

TEST(FormResourceTest, BothFormsAreRawResourcesUnderTheirClassNames) {
  for (std::string_view name : {"TFORM1", "TFORM2", "TForm1", "tform2"}) {
    auto found = platform::FindRawResource(name);
    ASSERT_TRUE(found.has_value()) << name;
    EXPECT_GT(found->size(), 100u) << name;
  }
  EXPECT_FALSE(platform::FindRawResource("TFORM3").has_value());
}

TEST(FormResourceTest, VersionWindowStartsWithTheDocumentedBytes) {
  const std::string expected =
      "TPF0"
      "\x06TForm2"
      "\x05"
      "Form2"
      "\x04Left\x03\xB5\x00"
      "\x03Top\x03\x76\x01"
      "\x0B"
      "BorderStyle\x07\x08"
      "bsDialog"s;
  EXPECT_EQ(ResourceBytes("TFORM2").substr(0, expected.size()), expected);
}

TEST(FormResourceTest, MainWindowStartsWithItsRootRecord) {
  const std::string expected =
      "TPF0\x06TForm1\x05"
      "Form1";
  EXPECT_EQ(ResourceBytes("TFORM1").substr(0, expected.size()), expected);
}

TEST(FormResourceTest, StreamsAreConsumedExactlyAndEndWithThreeEndMarkers) {
  for (std::string_view name : {"TFORM1", "TFORM2"}) {
    SCOPED_TRACE(name);
    std::string bytes = ResourceBytes(name);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(bytes.size() - 3), std::string(3, '\0'));
    EXPECT_NO_THROW(Decode(name));
  }
}

TEST(FormResourceTest, MainWindowComponentsInStreamOrder) {
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"GroupBox2", "TGroupBox"}, {"Label9", "TLabel"},       {"Label10", "TLabel"},      {"Label12", "TLabel"},
      {"Label15", "TLabel"},      {"Label17", "TLabel"},      {"Label13", "TLabel"},      {"Label11", "TLabel"},
      {"Label14", "TLabel"},      {"NowVideo", "TEdit"},      {"NextVideo", "TEdit"},     {"ReCalc", "TButton"},
      {"NextAudio", "TComboBox"}, {"GroupBox1", "TGroupBox"}, {"Label1", "TLabel"},       {"Label3", "TLabel"},
      {"Label4", "TLabel"},       {"Label5", "TLabel"},       {"Label7", "TLabel"},       {"Label8", "TLabel"},
      {"Label2", "TLabel"},       {"Label6", "TLabel"},       {"Time", "TEdit"},          {"NextSize", "TEdit"},
      {"Video", "TEdit"},         {"Calc", "TButton"},        {"NowAudio", "TComboBox"},  {"NowSize", "TEdit"},
      {"MainMenu1", "TMainMenu"}, {"File1", "TMenuItem"},     {"Exit1", "TMenuItem"},     {"Help1", "TMenuItem"},
      {"Help2", "TMenuItem"},     {"h1", "TMenuItem"},        {"Tarnwick1", "TMenuItem"}, {"N1", "TMenuItem"},
      {"About1", "TMenuItem"},
  };
  Record root = Decode("TFORM1");
  EXPECT_EQ(root.className, "TForm1");
  EXPECT_EQ(root.name, "Form1");
  std::vector<std::pair<std::string, std::string>> actual;
  Flatten(root, actual);
  EXPECT_EQ(actual, expected);
  // Nesting: the window holds the outer panel and the menu; the inner panel
  // sits in the outer one; the menu items hang under their menus.
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.children[0].children.size(), 14u);
  EXPECT_EQ(Find(root, "GroupBox1")->children.size(), 13u);
  EXPECT_EQ(Find(root, "File1")->children.size(), 1u);
  EXPECT_EQ(Find(root, "Help1")->children.size(), 5u);
}

TEST(FormResourceTest, VersionWindowComponentsInStreamOrder) {
  Record root = Decode("TFORM2");
  EXPECT_EQ(root.className, "TForm2");
  std::vector<std::pair<std::string, std::string>> actual;
  Flatten(root, actual);
  EXPECT_EQ(actual, (std::vector<std::pair<std::string, std::string>>{{"Label1", "TLabel"},
                                                                      {"Label2", "TLabel"},
                                                                      {"Label3", "TLabel"},
                                                                      {"Label4", "TLabel"},
                                                                      {"Button1", "TButton"}}));
  for (auto& child : root.children) EXPECT_EQ(child.flags, 0) << child.name;
}

// Bounds, tab order and own-font colour of every control, as the windows lay them out.
struct ControlRow {
  const char* form;
  const char* name;
  int left, top, width, height;
  int tabOrder;           // -1: not stored
  const char* fontColor;  // nullptr: the window's font
};

const ControlRow kControls[] = {
    {"TFORM1", "GroupBox2", 8, 8, 401, 177, 0, nullptr},
    {"TFORM1", "Label9", 192, 144, 113, 12, -1, "clRed"},
    {"TFORM1", "Label10", 361, 144, 24, 12, -1, "clRed"},
    {"TFORM1", "Label12", 360, 40, 24, 12, -1, "clWindowText"},
    {"TFORM1", "Label15", 192, 40, 117, 12, -1, "clWindowText"},
    {"TFORM1", "Label17", 192, 88, 113, 12, -1, "clWindowText"},
    {"TFORM1", "Label13", 360, 88, 24, 12, -1, "clWindowText"},
    {"TFORM1", "Label11", 360, 64, 17, 12, -1, "clWindowText"},
    {"TFORM1", "Label14", 192, 64, 70, 12, -1, "clWindowText"},
    {"TFORM1", "NowVideo", 312, 32, 41, 20, 1, nullptr},
    {"TFORM1", "NextVideo", 312, 136, 41, 20, 5, "clWindowText"},
    {"TFORM1", "ReCalc", 264, 112, 113, 17, 4, nullptr},
    {"TFORM1", "NextAudio", 312, 80, 41, 20, 3, "clWindowText"},
    {"TFORM1", "GroupBox1", 8, 16, 177, 153, 0, nullptr},
    {"TFORM1", "Label1", 8, 24, 24, 12, -1, "clWindowText"},
    {"TFORM1", "Label3", 8, 48, 58, 12, -1, "clWindowText"},
    {"TFORM1", "Label4", 8, 128, 81, 12, -1, "clRed"},
    {"TFORM1", "Label5", 144, 24, 12, 12, -1, "clWindowText"},
    {"TFORM1", "Label7", 144, 48, 17, 12, -1, "clWindowText"},
    {"TFORM1", "Label8", 144, 128, 24, 12, -1, "clRed"},
    {"TFORM1", "Label2", 8, 72, 81, 12, -1, "clWindowText"},
    {"TFORM1", "Label6", 144, 72, 24, 12, -1, "clWindowText"},
    {"TFORM1", "Time", 96, 16, 41, 20, 0, "clWindowText"},
    {"TFORM1", "NextSize", 96, 40, 41, 20, 1, "clWindowText"},
    {"TFORM1", "Video", 96, 120, 41, 20, 4, "clWindowText"},
    {"TFORM1", "Calc", 40, 96, 113, 17, 3, nullptr},
    {"TFORM1", "NowAudio", 96, 64, 41, 20, 2, "clWindowText"},
    {"TFORM1", "NowSize", 312, 56, 41, 20, 2, nullptr},
    {"TFORM2", "Label1", 32, 8, 150, 12, -1, nullptr},
    {"TFORM2", "Label2", 152, 24, 52, 12, -1, nullptr},
    {"TFORM2", "Label3", 32, 40, 162, 12, -1, nullptr},
    {"TFORM2", "Label4", 48, 56, 118, 12, -1, nullptr},
    {"TFORM2", "Button1", 80, 80, 81, 25, 0, nullptr},
};

TEST(FormResourceTest, ControlBoundsTabOrderAndFonts) {
  const Record forms[] = {Decode("TFORM1"), Decode("TFORM2")};
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(std::string(row.form) + "." + row.name);
    const Record* c = Find(forms[row.form == std::string_view("TFORM1") ? 0 : 1], row.name);
    ASSERT_NE(c, nullptr);
    std::vector<std::string> paths;
    for (auto& [p, v] : c->properties) paths.push_back(p);
    ASSERT_GE(paths.size(), 4u);
    // Bounds lead every control's record, in this order.
    EXPECT_EQ(std::vector<std::string>(paths.begin(), paths.begin() + 4),
              (std::vector<std::string>{"Left", "Top", "Width", "Height"}));
    EXPECT_EQ(c->Property("Left")->number, row.left);
    EXPECT_EQ(c->Property("Top")->number, row.top);
    EXPECT_EQ(c->Property("Width")->number, row.width);
    EXPECT_EQ(c->Property("Height")->number, row.height);
    const Value* tab = c->Property("TabOrder");
    if (row.tabOrder < 0) {
      EXPECT_EQ(tab, nullptr);
    } else {
      ASSERT_NE(tab, nullptr);
      EXPECT_EQ(tab->number, row.tabOrder);
    }
    const Value* parentFont = c->Property("ParentFont");
    if (!row.fontColor) {
      EXPECT_EQ(parentFont, nullptr);
      EXPECT_EQ(c->Property("Font.Name"), nullptr);
      continue;
    }
    ASSERT_NE(parentFont, nullptr);
    EXPECT_EQ(parentFont->tag, 8);
    ASSERT_NE(c->Property("Font.Color"), nullptr);
    EXPECT_EQ(c->Property("Font.Color")->tag, 7);
    EXPECT_EQ(c->Property("Font.Color")->text, row.fontColor);
    EXPECT_EQ(c->Property("Font.Charset")->text, "SHIFTJIS_CHARSET");
    EXPECT_EQ(c->Property("Font.Height")->number, -12);
    EXPECT_EQ(c->Property("Font.Name")->text, Sjis("ＭＳ Ｐゴシック"));
    EXPECT_EQ(c->Property("Font.Style")->tag, 11);
    EXPECT_TRUE(c->Property("Font.Style")->names.empty());
  }
}

TEST(FormResourceTest, MainWindowProperties) {
  Record root = Decode("TFORM1");
  const Value* icons = root.Property("BorderIcons");
  ASSERT_NE(icons, nullptr);
  EXPECT_EQ(icons->tag, 11);
  EXPECT_EQ(icons->names, (std::vector<std::string>{"biSystemMenu", "biMinimize"}));
  EXPECT_EQ(root.Property("Caption")->text, "Tarnwick for MPEG4");
  // 418 needs two bytes, 195 too (it is above the signed byte range), 96 one.
  EXPECT_EQ(root.Property("ClientWidth")->tag, 3);
  EXPECT_EQ(root.Property("ClientWidth")->number, 418);
  EXPECT_EQ(root.Property("ClientHeight")->tag, 3);
  EXPECT_EQ(root.Property("ClientHeight")->number, 195);
  EXPECT_EQ(root.Property("PixelsPerInch")->tag, 2);
  EXPECT_EQ(root.Property("PixelsPerInch")->number, 96);
  EXPECT_EQ(root.Property("TextHeight")->number, 12);
  EXPECT_EQ(root.Property("Font.Height")->tag, 2);
  EXPECT_EQ(root.Property("Font.Height")->number, -12);
  EXPECT_EQ(root.Property("Font.Name")->text, Sjis("ＭＳ Ｐゴシック"));
  EXPECT_EQ(root.Property("Menu")->tag, 7);
  EXPECT_EQ(root.Property("Menu")->text, "MainMenu1");
  EXPECT_EQ(root.Property("OldCreateOrder")->tag, 8);
  EXPECT_EQ(root.Property("Position")->text, "poDefault");
  EXPECT_EQ(root.Property("BorderStyle")->text, "bsSingle");
  EXPECT_EQ(root.Property("Color")->text, "clBtnFace");
  const Value* menuTop = Find(root, "MainMenu1")->Property("Top");
  ASSERT_NE(menuTop, nullptr);
  EXPECT_EQ(menuTop->tag, 3);
  EXPECT_EQ(menuTop->number, 168);
}

TEST(FormResourceTest, MainWindowTextsHintsAndHandlers) {
  Record root = Decode("TFORM1");
  struct Row {
    const char* name;
    const char* path;
    int tag;
    std::string value;
  };
  const std::string hint = Sjis("映像に割り当てるビットレートの目安です");
  const Row rows[] = {
      {"GroupBox2", "Caption", 6, "Re-Tarnwick"},
      {"GroupBox1", "Caption", 6, "Tarnwick"},
      {"Label9", "Caption", 6, Sjis("新しい映像ビットレート")},
      {"Label14", "Caption", 6, Sjis("現在のサイズ")},
      {"Label5", "Caption", 6, Sjis("分")},
      {"Time", "Text", 6, "120"},
      {"NowSize", "Text", 6, "700"},
      {"NowAudio", "Text", 6, "128"},
      {"Video", "Text", 6, ""},
      {"Video", "Hint", 6, hint},
      {"NextVideo", "Hint", 6, hint},
      {"Calc", "Caption", 6, Sjis("計算")},
      {"Calc", "OnClick", 7, "CalcClick"},
      {"ReCalc", "Caption", 6, Sjis("再計算")},
      {"ReCalc", "OnClick", 7, "ReCalcClick"},
      {"File1", "Caption", 6, Sjis("ファイル(&F)")},
      {"Exit1", "OnClick", 7, "Exit1Click"},
      {"Help2", "Caption", 6, Sjis("ヘルプ(&H)")},
      {"Help2", "OnClick", 7, "Help2Click"},
      {"h1", "Caption", 6, "-"},
      {"Tarnwick1", "Caption", 6, Sjis("作者のサイトへ(&J)")},
      {"Tarnwick1", "OnClick", 7, "Tarnwick1Click"},
      {"About1", "Caption", 6, Sjis("バージョン情報(&A)")},
      {"About1", "OnClick", 7, "About1Click"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + "." + row.path);
    const Record* c = Find(root, row.name);
    ASSERT_NE(c, nullptr);
    const Value* v = c->Property(row.path);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->tag, row.tag);
    EXPECT_EQ(v->text, row.value);
  }
  // Only the two read-only result fields show a hint; the other fields say so.
  for (const char* name : {"Video", "NextVideo"}) {
    EXPECT_EQ(Find(root, name)->Property("ReadOnly")->tag, 9) << name;
    EXPECT_EQ(Find(root, name)->Property("ShowHint")->tag, 9) << name;
    EXPECT_EQ(Find(root, name)->Property("ParentShowHint")->tag, 8) << name;
  }
  for (const char* name : {"Time", "NextSize", "NowSize", "NowAudio", "NextAudio"}) {
    EXPECT_EQ(Find(root, name)->Property("ShowHint")->tag, 8) << name;
    EXPECT_EQ(Find(root, name)->Property("ReadOnly"), nullptr) << name;
  }
}

TEST(FormResourceTest, AudioCombosListTheBitrates) {
  Record root = Decode("TFORM1");
  const std::vector<std::string> bitrates = {"0", "56", "64", "96", "112", "128", "160", "192"};
  for (const char* name : {"NowAudio", "NextAudio"}) {
    const Record* combo = Find(root, name);
    ASSERT_NE(combo, nullptr) << name;
    const Value* items = combo->Property("Items.Strings");
    ASSERT_NE(items, nullptr) << name;
    EXPECT_EQ(items->tag, 1) << name;
    EXPECT_EQ(Texts(*items), bitrates) << name;
    EXPECT_EQ(combo->Property("ItemHeight")->number, 12) << name;
  }
}

TEST(FormResourceTest, VersionWindowProperties) {
  Record root = Decode("TFORM2");
  EXPECT_EQ(root.Property("Caption")->text, Sjis("バージョン情報"));
  EXPECT_EQ(root.Property("Position")->text, "poMainFormCenter");
  EXPECT_EQ(root.Property("ClientWidth")->number, 231);
  EXPECT_EQ(root.Property("ClientHeight")->number, 116);
  EXPECT_EQ(root.Property("BorderIcons"), nullptr);
  EXPECT_EQ(root.Property("Menu"), nullptr);
  EXPECT_EQ(Find(root, "Label1")->Property("Caption")->text, "Tarnwick for MPEG4");
  EXPECT_EQ(Find(root, "Label2")->Property("Caption")->text, Sjis("ver 1.0β4"));
  const Record* ok = Find(root, "Button1");
  EXPECT_EQ(ok->Property("Caption")->text, "OK");
  EXPECT_EQ(ok->Property("ModalResult")->number, 1);
  EXPECT_EQ(ok->Property("OnClick")->text, "Button1Click");
  // The address is shown as text only.
  EXPECT_EQ(Find(root, "Label4")->Property("OnClick"), nullptr);
}

}  // namespace
}  // namespace tw
