#include "core/StringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/Streams.h"
#include "runtime/Exceptions.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

using test::Sjis;
using Lines = std::vector<std::string>;

Lines LinesOf(const TStrings& list) {
  Lines out;
  for (int i = 0; i < list.LineCount(); ++i) out.push_back(list.LineAt(i));
  return out;
}

std::vector<TObject*> ObjectsOf(const TStrings& list) {
  std::vector<TObject*> out;
  for (int i = 0; i < list.LineCount(); ++i) out.push_back(list.ObjectAt(i));
  return out;
}

void Fill(TStrings& list, const Lines& lines) {
  for (const std::string& line : lines) list.AddLine(line);
}

// Records the notices of a string list with the line count each one saw.
struct NoticeLog {
  Lines entries;
  void Attach(TStringList& list) {
    list.SetOnLinesChanging([this](TStringList& l) { entries.push_back("changing " + std::to_string(l.LineCount())); });
    list.SetOnLinesChanged([this](TStringList& l) { entries.push_back("changed " + std::to_string(l.LineCount())); });
  }
};

std::string IndexError(int i) { return Sjis("リストのインデックスが範囲を超えています (" + std::to_string(i) + ")"); }
const std::string kSortedError = "ソートされる文字列リストに対しては許されない動作です";
const std::string kDuplicateError = "文字列リストは重複を許しません";

// The least a concrete line list supplies, to exercise the defaults of TStrings.
class VectorStrings : public TStrings {
 public:
  Lines lines;
  std::vector<bool> batchStates;

  std::string LineAt(int index) const override {
    Check(index, LineCount() - 1);
    return lines[static_cast<std::size_t>(index)];
  }
  int LineCount() const override { return static_cast<int>(lines.size()); }
  void ClearLines() override { lines.clear(); }
  void DeleteLine(int index) override {
    Check(index, LineCount() - 1);
    lines.erase(lines.begin() + index);
  }
  void InsertLine(int index, std::string_view text) override {
    Check(index, LineCount());
    lines.insert(lines.begin() + index, std::string(text));
  }
  void UpdateStateChanged(bool updating) override { batchStates.push_back(updating); }

 private:
  static void Check(int index, int last) {
    if (index < 0 || index > last) RaiseIndexError(index);
  }
};

TEST(StringsTest, DefaultsBuildOnTheAbstractOperations) {
  VectorStrings list;
  EXPECT_EQ(list.AddLine("one"), 0);
  EXPECT_EQ(list.AddLineWithObject("two", nullptr), 1);
  list.AddLine("three");
  list.PutLine(0, "ONE");
  list.SwapLines(0, 2);
  EXPECT_EQ(list.lines, (Lines{"three", "two", "ONE"}));
  list.MoveLine(2, 0);
  EXPECT_EQ(list.lines, (Lines{"ONE", "three", "two"}));
  EXPECT_EQ(list.IndexOfLine("TWO"), 2);
  EXPECT_EQ(list.IndexOfLine("four"), -1);
  EXPECT_EQ(list.JoinedText(), "ONE\r\nthree\r\ntwo\r\n");
  // A bad target is found before the line is taken out.
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { list.MoveLine(0, 3); }), IndexError(3));
  EXPECT_EQ(list.lines, (Lines{"ONE", "three", "two"}));
}

TEST(StringsTest, BatchesReportOnlyTheOutermostStartAndEnd) {
  VectorStrings list;
  list.BeginBatch();
  list.BeginBatch();
  EXPECT_EQ(list.BatchDepth(), 2);
  list.EndBatch();
  list.EndBatch();
  list.EndBatch();  // unmatched: ignored
  EXPECT_EQ(list.BatchDepth(), 0);
  EXPECT_EQ(list.batchStates, (std::vector<bool>{true, false}));
  list.batchStates.clear();
  EXPECT_THROW(list.SwapLines(0, 0), EStringListError);  // the batch still ends
  list.SetJoinedText("a\r\nb");
  EXPECT_EQ(list.batchStates, (std::vector<bool>{true, false, true, false}));
}

TEST(StringsTest, AssignFromOtherLinesOrRaise) {
  TStringList source;
  TObject tag;
  source.AddLineWithObject("x", &tag);
  source.AddLine("y");
  VectorStrings target;
  target.AddLine("old");
  target.AssignFrom(&source);
  EXPECT_EQ(target.lines, (Lines{"x", "y"}));
  EXPECT_EQ(target.batchStates, (std::vector<bool>{true, false}));

  TStringList copy;
  copy.AssignFrom(&source);
  EXPECT_EQ(ObjectsOf(copy), (std::vector<TObject*>{&tag, nullptr}));
  copy.AssignFrom(&copy);  // itself: unchanged
  EXPECT_EQ(LinesOf(copy), (Lines{"x", "y"}));

  TPersistent other;
  EXPECT_EQ(test::MessageOf<EConvertError>([&] { copy.AssignFrom(&other); }),
            Sjis("TPersistent を TStringList に代入することはできません"));
  EXPECT_EQ(test::MessageOf<EConvertError>([&] { copy.AssignFrom(nullptr); }),
            Sjis("nil を TStringList に代入することはできません"));
  EXPECT_EQ(LinesOf(copy), (Lines{"x", "y"}));
}

TEST(StringListTest, IndexErrorsNameTheIndexAndChangeNothing) {
  struct Case {
    const char* what;
    std::function<void(TStringList&)> action;
    int index;
  };
  const Case cases[] = {
      {"LineAt", [](TStringList& l) { l.LineAt(2); }, 2},
      {"LineAt negative", [](TStringList& l) { l.LineAt(-1); }, -1},
      {"ObjectAt", [](TStringList& l) { l.ObjectAt(2); }, 2},
      {"PutObjectAt", [](TStringList& l) { l.PutObjectAt(5, nullptr); }, 5},
      {"DeleteLine", [](TStringList& l) { l.DeleteLine(2); }, 2},
      {"SwapLines first", [](TStringList& l) { l.SwapLines(-3, 9); }, -3},
      {"SwapLines second", [](TStringList& l) { l.SwapLines(1, 9); }, 9},
      {"PutLine", [](TStringList& l) { l.PutLine(2, "z"); }, 2},
      {"InsertLine", [](TStringList& l) { l.InsertLine(3, "z"); }, 3},
      {"MoveLine", [](TStringList& l) { l.MoveLine(0, 2); }, 2},
  };
  for (const Case& c : cases) {
    TStringList list;
    Fill(list, {"a", "b"});
    NoticeLog log;
    log.Attach(list);
    EXPECT_EQ(test::MessageOf<EStringListError>([&] { c.action(list); }), IndexError(c.index)) << c.what;
    EXPECT_EQ(LinesOf(list), (Lines{"a", "b"})) << c.what;
    EXPECT_TRUE(log.entries.empty()) << c.what;
  }
}

TEST(StringListTest, SortedListRefusesPositionalChanges) {
  TStringList list;
  Fill(list, {"b", "a"});
  list.SetSorted(true);
  NoticeLog log;
  log.Attach(list);
  // Refused before the index is looked at.
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { list.PutLine(7, "z"); }), Sjis(kSortedError));
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { list.InsertLine(0, "z"); }), Sjis(kSortedError));
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { list.MoveLine(0, 1); }), Sjis(kSortedError));
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { list.MoveLine(1, 1); }), Sjis(kSortedError));
  EXPECT_EQ(LinesOf(list), (Lines{"a", "b"}));
  EXPECT_TRUE(log.entries.empty());
}

TEST(StringListTest, SortedAddFollowsTheDuplicatePolicy) {
  TStringList ignoring;
  ignoring.SetSorted(true);
  EXPECT_EQ(ignoring.AddLine("b"), 0);
  EXPECT_EQ(ignoring.AddLine("a"), 0);
  EXPECT_EQ(ignoring.AddLine("B"), 1);
  EXPECT_EQ(LinesOf(ignoring), (Lines{"a", "b"}));

  TStringList refusing;
  refusing.SetSorted(true);
  refusing.SetDuplicates(dupError);
  Fill(refusing, {"b", "a"});
  NoticeLog log;
  log.Attach(refusing);
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { refusing.AddLine("A"); }), Sjis(kDuplicateError));
  EXPECT_EQ(LinesOf(refusing), (Lines{"a", "b"}));
  EXPECT_TRUE(log.entries.empty());

  TStringList accepting;
  accepting.SetSorted(true);
  accepting.SetDuplicates(dupAccept);
  Fill(accepting, {"b", "a", "a"});
  EXPECT_EQ(accepting.AddLine("A"), 0);  // before the equal lines
  EXPECT_EQ(LinesOf(accepting), (Lines{"A", "a", "a", "b"}));
}

// The object goes to the index the add gave, also when that is the equal
// line an ignoring sorted list kept.
TEST(StringListTest, IgnoredDuplicateStillTakesTheObject) {
  TStringList list;
  list.SetSorted(true);
  TObject first, second, third;
  EXPECT_EQ(list.AddLineWithObject("a", &first), 0);
  EXPECT_EQ(list.AddLineWithObject("A", &second), 0);
  EXPECT_EQ(LinesOf(list), Lines{"a"});
  EXPECT_EQ(ObjectsOf(list), (std::vector<TObject*>{&second}));
  list.SetDuplicates(dupAccept);
  EXPECT_EQ(list.AddLineWithObject("A", &third), 0);
  EXPECT_EQ(ObjectsOf(list), (std::vector<TObject*>{&third, &second}));
}

TEST(StringListTest, FindSortedGivesTheMatchOrTheInsertionPoint) {
  struct Case {
    TDuplicates policy;
    const char* text;
    bool found;
    int index;
  };
  // Over a, a, b, d: dupAccept finds the first of a run; the others stop at
  // the first equal line the halving meets.
  const Case cases[] = {
      {dupAccept, "A", true, 0},  {dupIgnore, "A", true, 1},  {dupError, "a", true, 1},   {dupIgnore, "B", true, 2},
      {dupIgnore, "c", false, 3}, {dupIgnore, "0", false, 0}, {dupIgnore, "e", false, 4}, {dupAccept, "d", true, 3},
  };
  for (const Case& c : cases) {
    TStringList list;
    Fill(list, {"a", "a", "b", "d"});
    list.SetDuplicates(c.policy);
    int index = -99;
    EXPECT_EQ(list.FindSorted(c.text, index), c.found) << c.text << " policy " << int(c.policy);
    EXPECT_EQ(index, c.index) << c.text << " policy " << int(c.policy);
  }
  TStringList empty;
  int index = -99;
  EXPECT_FALSE(empty.FindSorted("x", index));
  EXPECT_EQ(index, 0);
}

TEST(StringListTest, IndexOfLineIgnoresCase) {
  TStringList list;
  Fill(list, {"Delta", "alpha", "ALPHA"});
  EXPECT_EQ(list.IndexOfLine("Alpha"), 1);
  EXPECT_EQ(list.IndexOfLine("gamma"), -1);
  list.SetSorted(true);
  EXPECT_EQ(list.IndexOfLine("DELTA"), 2);
  EXPECT_EQ(list.IndexOfLine("beta"), -1);
}

TEST(StringListTest, SortingMovesObjectsAlongAndIsNotStable) {
  TStringList list;
  TObject objects[4];
  const Lines input{"b", "a", "B", "A"};
  for (int i = 0; i < 4; ++i) list.AddLineWithObject(input[static_cast<std::size_t>(i)], &objects[i]);
  NoticeLog log;
  log.Attach(list);
  list.SetSorted(true);
  // The middle line is the first pivot; a stable sort would give a A b B.
  EXPECT_EQ(LinesOf(list), (Lines{"A", "a", "b", "B"}));
  EXPECT_EQ(ObjectsOf(list), (std::vector<TObject*>{&objects[3], &objects[1], &objects[0], &objects[2]}));
  EXPECT_EQ(log.entries, (Lines{"changing 4", "changed 4"}));

  log.entries.clear();
  list.SortLines();  // flagged sorted: nothing
  list.SetSorted(false);
  EXPECT_TRUE(log.entries.empty());
  EXPECT_EQ(LinesOf(list), (Lines{"A", "a", "b", "B"}));
}

TEST(StringListTest, SortLinesByOrdersALargeListByTheGivenComparison) {
  std::mt19937 random(12345);
  TStringList list;
  for (int i = 0; i < 5000; ++i) list.AddLine(std::to_string(random() % 1000));
  Lines expected = LinesOf(list);
  const auto numeric = [](const TStringList& l, int a, int b) {
    const int x = std::stoi(l.LineRef(a));
    const int y = std::stoi(l.LineRef(b));
    return x < y ? -1 : (x > y ? 1 : 0);
  };
  list.SortLinesBy(numeric);
  std::sort(expected.begin(), expected.end(),
            [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); });
  EXPECT_EQ(LinesOf(list), expected);
  EXPECT_FALSE(list.Sorted());
}

TEST(StringListTest, InconsistentComparisonsNeitherCrashNorLoseLines) {
  const std::function<int(const TStringList&, int, int)> comparisons[] = {
      [](const TStringList&, int, int) { return -1; },
      [](const TStringList&, int, int) { return 1; },
      [](const TStringList&, int a, int b) { return (a * 7 + b * 3) % 5 - 2; },
  };
  for (const auto& compare : comparisons) {
    TStringList list;
    for (int i = 0; i < 200; ++i) list.AddLine(std::to_string(i));
    Lines before = LinesOf(list);
    list.SortLinesBy(compare);
    Lines after = LinesOf(list);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before);
  }
}

TEST(StringListTest, JoinedTextEndsEveryLineWithCrLf) {
  TStringList list;
  EXPECT_EQ(list.JoinedText(), "");
  Fill(list, {"0", "56"});
  EXPECT_EQ(list.JoinedText(), std::string("\x30\x0D\x0A\x35\x36\x0D\x0A"));
  list.AddLine("");
  EXPECT_EQ(list.JoinedText(), "0\r\n56\r\n\r\n");
}

TEST(StringListTest, SetJoinedTextSplitsAtLineBreaks) {
  struct Case {
    std::string text;
    Lines lines;
  };
  const Case cases[] = {
      {"a\r\nb", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"a\r\rb", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\r\n", {"a"}},
      {"\r\n", {""}},
      {"", {}},
      {std::string("a\0b", 3), {"a"}},
      {std::string("\0a", 2), {}},
      {"\x82\xa0\r\n\x82\xa2", {"\x82\xa0", "\x82\xa2"}},
  };
  for (const Case& c : cases) {
    TStringList list;
    TObject tag;
    list.AddLineWithObject("old", &tag);
    list.SetJoinedText(c.text);
    EXPECT_EQ(LinesOf(list), c.lines);
    EXPECT_EQ(ObjectsOf(list), std::vector<TObject*>(c.lines.size(), nullptr));
  }
}

TEST(StringListTest, EachChangeIsBracketedByNotices) {
  TStringList list;
  NoticeLog log;
  log.Attach(list);
  TObject tag;
  list.AddLine("a");
  list.InsertLine(0, "b");
  list.PutLine(0, "c");
  list.PutObjectAt(1, &tag);
  list.SwapLines(0, 1);
  list.DeleteLine(0);
  list.ClearLines();
  list.ClearLines();  // empty: no notices
  EXPECT_EQ(log.entries,
            (Lines{"changing 0", "changed 1", "changing 1", "changed 2", "changing 2", "changed 2", "changing 2",
                   "changed 2", "changing 2", "changed 2", "changing 2", "changed 1", "changing 1", "changed 0"}));
}

TEST(StringListTest, BatchesGiveOneChangingAndOneChangedNotice) {
  TStringList list;
  Fill(list, {"x", "y", "z"});
  NoticeLog log;
  log.Attach(list);
  list.SetJoinedText("a\r\nb");
  EXPECT_EQ(log.entries, (Lines{"changing 3", "changed 2"}));

  log.entries.clear();
  TStringList other;
  Fill(other, {"c", "d"});
  list.AddLines(other);
  EXPECT_EQ(log.entries, (Lines{"changing 2", "changed 4"}));

  log.entries.clear();
  list.BeginBatch();
  list.BeginBatch();
  list.DeleteLine(0);
  list.EndBatch();
  list.AddLine("e");
  list.EndBatch();
  EXPECT_EQ(log.entries, (Lines{"changing 4", "changed 4"}));

  log.entries.clear();
  list.MoveLine(0, 3);
  EXPECT_EQ(log.entries, (Lines{"changing 4", "changed 4"}));
  EXPECT_EQ(LinesOf(list), (Lines{"c", "d", "e", "b"}));

  // Moving a line onto itself is a change like any other.
  log.entries.clear();
  list.MoveLine(2, 2);
  EXPECT_EQ(log.entries, (Lines{"changing 4", "changed 4"}));
  EXPECT_EQ(LinesOf(list), (Lines{"c", "d", "e", "b"}));
}

TEST(StringListTest, ReplaceLinesIsOneChange) {
  TStringList list;
  Fill(list, {"earlier", "lines"});
  NoticeLog log;
  log.Attach(list);
  const Lines values{"one", "two", "three"};
  std::size_t next = 0;
  list.ReplaceLines([&](std::string& line) {
    if (next == values.size()) return false;
    line = values[next++];
    return true;
  });
  EXPECT_EQ(LinesOf(list), values);
  EXPECT_EQ(log.entries, (Lines{"changing 2", "changed 3"}));
  list.ReplaceLines(std::span<const std::string>());
  EXPECT_EQ(list.LineCount(), 0);
}

TEST(StringListTest, AddLinesOfItselfAppendsOneCopy) {
  TStringList list;
  TObject tag;
  list.AddLineWithObject("a", &tag);
  list.AddLine("b");
  list.AddLines(list);
  EXPECT_EQ(LinesOf(list), (Lines{"a", "b", "a", "b"}));
  EXPECT_EQ(ObjectsOf(list), (std::vector<TObject*>{&tag, nullptr, &tag, nullptr}));
}

TEST(StringListTest, CapacityGrowsByTheListRuleAndNeverBelowTheCount) {
  TStringList list;
  const std::pair<int, int> steps[] = {{5, 8}, {13, 28}, {29, 44}};
  int added = 0;
  for (const auto& [count, capacity] : steps) {
    while (added < count) list.AddLine(std::to_string(added++));
    EXPECT_EQ(list.LineCapacity(), capacity) << count;
  }
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { list.ChangeLineCapacity(28); }),
            Sjis("リストの容量が超えました (28)"));
  EXPECT_EQ(list.LineCount(), 29);
  EXPECT_EQ(list.LineAt(28), "28");
  list.ClearLines();
  EXPECT_EQ(list.LineCapacity(), 0);
}

TEST(StringListTest, CapacityMayComeDownToExactlyTheCount) {
  TStringList list;
  for (const char* line : {"a", "b", "c"}) list.AddLine(line);
  list.ChangeLineCapacity(3);
  EXPECT_EQ(list.LineCapacity(), 3);
  EXPECT_EQ(LinesOf(list), (Lines{"a", "b", "c"}));
  EXPECT_EQ(test::MessageOf<EStringListError>([&] { list.ChangeLineCapacity(2); }),
            Sjis("リストの容量が超えました (2)"));
  EXPECT_EQ(list.LineCapacity(), 3);
  list.AddLine("d");  // a list filled to its capacity grows again
  EXPECT_EQ(LinesOf(list), (Lines{"a", "b", "c", "d"}));
}

TEST(StringListTest, SaveLinesAndLoadLinesRoundTrip) {
  TStringList source;
  Fill(source, {"0", "56", "", Sjis("計算")});
  TMemoryStream stream;
  stream.WriteBuffer("head", 4);
  source.SaveLines(stream);  // at the position, after what is there
  EXPECT_EQ(stream.Position(), stream.Size());
  const std::string expected = "head0\r\n56\r\n\r\n" + Sjis("計算") + "\r\n";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<std::size_t>(stream.Size())),
            expected);

  TStringList target;
  Fill(target, {"old"});
  NoticeLog log;
  log.Attach(target);
  stream.SetPosition(4);
  target.LoadLines(stream);
  EXPECT_EQ(LinesOf(target), LinesOf(source));
  EXPECT_EQ(stream.Position(), stream.Size());
  EXPECT_EQ(log.entries, (Lines{"changing 1", "changed 4"}));  // one batch
}

TEST(StringListTest, LoadLinesReadsFromThePositionToTheEnd) {
  struct Case {
    std::string bytes;
    std::int64_t position;
    Lines lines;
  };
  const Case cases[] = {
      {"skip\r\na\nb", 6, {"a", "b"}},
      {"a\r\r\nb\r\n", 0, {"a", "", "b"}},
      {std::string("a\r\nb\0c\r\n", 8), 0, {"a", "b"}},  // a zero byte ends the text
      {"abc", 3, {}},                                    // at the end: no lines
      {"abc", 10, {}},                                   // past the end: no lines
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    TMemoryStream stream;
    stream.WriteBuffer(c.bytes.data(), c.bytes.size());
    stream.SetPosition(c.position);
    VectorStrings list;
    list.lines = {"old"};
    list.LoadLines(stream);
    EXPECT_EQ(list.lines, c.lines);
    EXPECT_EQ(list.batchStates, (std::vector<bool>{true, false}));
  }
}

TEST(StringListTest, SaveLinesIntoAReadOnlyStreamRaises) {
  TStringList list;
  Fill(list, {"a"});
  TCustomMemoryStream view;
  EXPECT_EQ(test::MessageOf<EWriteError>([&] { list.SaveLines(view); }), Sjis("ストリームへの書き込みエラー"));
  TStringList empty;
  empty.SaveLines(view);  // nothing to write, nothing missing
}

}  // namespace
}  // namespace tw
