// Files on disk: what cannot be read, names outside every code page, the
// format told by the content, and the read bound on files over 4 GiB.
#include <fstream>

#include "tests/media/MediaTestSupport.h"

namespace tw::media::test {
namespace {

class Files : public TempFolderTest {
 protected:
  std::filesystem::path Write(const std::filesystem::path& name, const Bytes& bytes) {
    const auto path = folder_ / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path.string();
    return path;
  }

  static std::string Outcome(const Result<FileFacts>& facts) {
    if (!facts) return NameOf(facts.Error());
    return std::to_string(facts->minutes) + " min, " + std::to_string(facts->bytes) + " bytes";
  }
};

// What gives no running time, and what still gives a size: any regular file.
TEST_F(Files, ThatGiveNoRunningTime) {
  std::filesystem::create_directory(folder_ / "folder.mp4");
  struct Case {
    std::filesystem::path path;
    const char* expected;
    const char* size;
  };
  const Case cases[] = {
      {folder_ / "folder.mp4", "NotAFile", "NotAFile"},
      {folder_, "NotAFile", "NotAFile"},
      {folder_ / "missing.mp4", "CannotOpen", "CannotOpen"},
      {folder_ / "missing" / "film.mp4", "CannotOpen", "CannotOpen"},
      {"", "CannotOpen", "CannotOpen"},
      {Write("notes.avi", Text("Not a film at all, just some text.\n")), "UnsupportedFormat", "35 bytes"},
      {Write("empty.mkv", {}), "UnsupportedFormat", "0 bytes"},
      {Write("three.flv", Text("FLV")), "UnsupportedFormat", "3 bytes"},
      {Write("cut.mp4", Box("moov", MovieHeader(0, 1, 60)) + Be(100, 4) + Text("mdat")), "Damaged", "124 bytes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Outcome(ReadMinutesAndSize(c.path)), c.expected) << c.path.string();
    const Result<std::uint64_t> size = ReadFileSize(c.path);
    EXPECT_EQ(size ? std::to_string(*size) + " bytes" : NameOf(size.Error()), c.size) << c.path.string();
  }
}

// Names with characters that no code page of the platform's narrow interface
// holds (the program runs in code page 932): the wide form opens them.
TEST_F(Files, NamedOutsideEveryCodePage) {
  const Bytes film = LoadSample("mkv-2h00m00s.mkv");
  for (const char8_t* name : {u8"ë.mkv", u8"한국어 영화.mkv", u8"日本語と한국어とë.mkv", u8"Zoë — 2h.webm"}) {
    const auto path = Write(name, film);
    EXPECT_EQ(Outcome(ReadMinutesAndSize(path)), "120 min, 4934 bytes") << path.u8string().size();
  }
  std::filesystem::create_directory(folder_ / u8"한");
  EXPECT_EQ(Outcome(ReadMinutesAndSize(folder_ / u8"한")), "NotAFile");
  EXPECT_EQ(Outcome(ReadMinutesAndSize(folder_ / u8"ë.mp4")), "CannotOpen");
}

// The name says nothing: the content decides.
TEST_F(Files, TheContentDecidesNotTheName) {
  const Bytes mp4 = LoadSample("mp4-moov-at-end-2h00m03s.mp4");
  const Bytes flv = LoadSample("flv-2h00m03s.flv");
  EXPECT_EQ(Outcome(ReadMinutesAndSize(Write("film.avi", mp4))), "121 min, 28280 bytes");
  EXPECT_EQ(Outcome(ReadMinutesAndSize(Write("film", flv))), "121 min, 24895 bytes");
  EXPECT_EQ(Outcome(ReadMinutesAndSize(Write("film.mp4", Text("RIFF")))), "UnsupportedFormat");
}

// Files over 4 GiB, mostly holes: the running time is read with at most the
// budget plus one header per top-level structure, wherever it stands.
TEST_F(Files, LargeFilesReadWithinTheBound) {
  for (const LargeFile& large : LargeFiles()) {
    const auto path = folder_ / large.name;
    WriteSparse(path, large);
    ASSERT_EQ(std::filesystem::file_size(path), large.size) << large.name;
    const Result<FileFacts> facts = ReadMinutesAndSize(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(facts) << large.name << ": " << NameOf(facts.Error());
    EXPECT_GT(facts->bytes, std::uint64_t{4} << 30);
    EXPECT_EQ(facts->minutes, large.minutes) << large.name;
    EXPECT_EQ(facts->bytes, large.size) << large.name;
    EXPECT_LE(facts->bytesRead, kReadBudget + kMaxHeaderBytes * large.topLevelCount) << large.name;
  }
}

// A source of any size that serves the given bytes and zeros after them; from
// failsAt on its reads come short, as on a disk error or a network drive gone.
class SparseSource final : public ByteSource {
 public:
  SparseSource(Bytes head, std::uint64_t size, std::uint64_t failsAt = ~std::uint64_t{0})
      : ByteSource(size), head_(std::move(head)), failsAt_(failsAt) {}

 protected:
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
    std::size_t i = 0;
    for (; i < buffer.size() && offset + i < failsAt_; ++i)
      buffer[i] = offset + i < head_.size() ? head_[static_cast<std::size_t>(offset + i)] : 0;
    return i;
  }

 private:
  Bytes head_;
  std::uint64_t failsAt_;
};

// A read that fails part way is told apart from a damaged file: the file may
// well be whole.
TEST(ReadFailure, IsItsOwnError) {
  for (const char* name :
       {"avi-2h15m45s.avi", "mkv-2h00m00s.mkv", "flv-2h00m03s.flv", "mp4-faststart-2h00m00s.mp4", "wmv-2h01m15s.wmv"}) {
    const Bytes whole = LoadSample(name);
    SparseSource reads(whole, whole.size());
    EXPECT_NE(Outcome(ReadDuration(reads)), "ReadFailed") << name;
    for (const std::uint64_t failsAt : {0, 4, 30, 100}) {
      SparseSource fails(whole, whole.size(), failsAt);
      EXPECT_EQ(Outcome(ReadDuration(fails)), "ReadFailed") << name << " failing at " << failsAt;
    }
  }
}

TEST(ReadBound, TopLevelHeadersAreNotCharged) {
  // 20,000 fragments: far more header bytes than the budget.
  Bytes bytes = FileType() + Box("moov", MovieHeader(0, 1, 0) + Box("mvex", MovieExtendsHeader(0, 600)));
  const Bytes fragment = Box("moof", Bytes(100)) + Box("mdat", Bytes(4));
  for (int i = 0; i < 20000; ++i) bytes.insert(bytes.end(), fragment.begin(), fragment.end());
  MemorySource source(bytes);
  EXPECT_EQ(Outcome(ReadDuration(source)), "600 s");
  EXPECT_GT(source.BytesRead(), kReadBudget);
  EXPECT_LE(source.BytesRead(), kReadBudget + kMaxHeaderBytes * 40002);
}

TEST(ReadBound, EverythingElseIsCharged) {
  // Small boxes inside the movie box, each header read and charged: 10,000
  // of them exceed the budget, 2,000 do not.
  auto movie = [](int boxes) {
    Bytes children;
    const Bytes free = Box("free", {});
    for (int i = 0; i < boxes; ++i) children.insert(children.end(), free.begin(), free.end());
    return FileType() + Box("moov", children + MovieHeader(0, 1, 60)) + Box("mdat", {});
  };
  const Bytes many = movie(10000), fewer = movie(2000);
  MemorySource over(many);
  EXPECT_EQ(Outcome(ReadDuration(over)), "Damaged");
  EXPECT_LE(over.BytesRead(), kReadBudget + kMaxHeaderBytes * 3);
  MemorySource under(fewer);
  EXPECT_EQ(Outcome(ReadDuration(under)), "60 s");
}

TEST(ReadBound, SizesNearTheTopOfTheRange) {
  constexpr std::uint64_t kHuge = ~std::uint64_t{0};
  struct Case {
    const char* what;
    Bytes head;
    std::uint64_t size;
    const char* expected;
  };
  const Bytes movie = FileType() + Box("moov", MovieHeader(0, 1, 60));  // media data follows
  const Case cases[] = {
      // The media data box reaches the last byte of the range; nothing follows.
      {"MP4 box to the end", movie + Be(1, 4) + Text("mdat") + Be(kHuge - movie.size(), 8), kHuge, "60 s"},
      {"MP4 box past the end", movie + Be(1, 4) + Text("mdat") + Be(kHuge, 8), kHuge, "Damaged"},
      {"Matroska segment past the end", EbmlHeader("webm") + Be(kSegment, 4) + Be(0x01FFFFFFFFFFFFFE, 8),
       std::uint64_t{1} << 50, "Damaged"},
      {"FLV body offset at the end", Bytes{'F', 'L', 'V', 1, 1} + Be(0xFFFFFFFF, 4), 0xFFFFFFFF, "Damaged"},
      // Zeros read as empty chunks: a million of them end the walk.
      {"AVI followed by a terabyte of zeros", List("RIFF", "AVI ", List("LIST", "hdrl", MainHeader(40000, 1500))),
       std::uint64_t{1} << 40, "Damaged"},
  };
  for (const Case& c : cases) {
    SparseSource source(c.head, c.size);
    EXPECT_EQ(Outcome(ReadDuration(source)), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace tw::media::test
