#include "core/Streams.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/Platform.h"
#include "tests/TestSupport.h"

namespace tw {
namespace {

using test::Sjis;
using Bytes = std::vector<std::uint8_t>;

Bytes Contents(TCustomMemoryStream& stream) { return Bytes(stream.Memory(), stream.Memory() + stream.Size()); }

std::string ReadText(TStream& stream, std::size_t count) {
  std::string out(count, '\0');
  out.resize(stream.Read(out.data(), count));
  return out;
}

const std::string kReadError = "ストリームからの読み込みエラー";
const std::string kWriteError = "ストリームへの書き込みエラー";

TEST(StreamsTest, MemoryStreamReadsWhatWasWrittenAndTracksItsPosition) {
  TMemoryStream stream;
  stream.WriteBuffer("abcde", 5);
  EXPECT_EQ(stream.Position(), 5);
  EXPECT_EQ(stream.Size(), 5);

  struct Step {
    std::int64_t offset;
    TSeekOrigin origin;
    std::int64_t position;  // after the seek
    std::size_t requested;
    std::string read;
  };
  const Step steps[] = {
      {0, soBeginning, 0, 2, "ab"}, {1, soCurrent, 3, 10, "de"},  // a short read stops at the end
      {0, soCurrent, 5, 1, ""},     {-2, soEnd, 3, 1, "d"},
      {7, soBeginning, 7, 1, ""},   {-1, soBeginning, -1, 1, ""},  // outside the block reads nothing
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.position);
    EXPECT_EQ(stream.Seek(s.offset, s.origin), s.position);
    EXPECT_EQ(ReadText(stream, s.requested), s.read);
    EXPECT_EQ(stream.Position(), s.position + static_cast<std::int64_t>(s.read.size()));
  }
  EXPECT_EQ(stream.Size(), 5);
}

TEST(StreamsTest, SeeksStopAtTheEndsOfThePositionRange) {
  TMemoryStream stream;
  const std::int64_t max = std::numeric_limits<std::int64_t>::max();
  const std::int64_t min = std::numeric_limits<std::int64_t>::min();
  EXPECT_EQ(stream.Seek(max, soBeginning), max);
  EXPECT_EQ(stream.Seek(1, soCurrent), max);
  EXPECT_EQ(stream.Seek(min, soBeginning), min);
  EXPECT_EQ(stream.Seek(-1, soCurrent), min);
  EXPECT_EQ(stream.Seek(max, soEnd), max);
  EXPECT_EQ(ReadText(stream, 4), "");
  EXPECT_EQ(test::MessageOf<EOutOfMemory>([&] { stream.WriteBuffer("x", 1); }), Sjis("メモリが足りません"));
  EXPECT_EQ(stream.Size(), 0);
}

TEST(StreamsTest, ShortTransfersRaiseReadAndWriteErrors) {
  const std::array<std::uint8_t, 3> block{1, 2, 3};
  TCustomMemoryStream view(block);
  std::array<std::uint8_t, 4> buffer{};
  view.SetPosition(1);
  EXPECT_EQ(test::MessageOf<EReadError>([&] { view.ReadBuffer(buffer.data(), 3); }), Sjis(kReadError));
  // The bytes that were there have been consumed.
  EXPECT_EQ(view.Position(), 3);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{2, 3, 0, 0}));
  view.ReadBuffer(buffer.data(), 0);  // nothing asked, nothing missing

  // The view does not write into memory it does not own.
  view.SetPosition(0);
  EXPECT_EQ(view.Write("x", 1), 0u);
  EXPECT_EQ(test::MessageOf<EWriteError>([&] { view.WriteBuffer("x", 1); }), Sjis(kWriteError));
  EXPECT_EQ(test::MessageOf<EStreamError>([&] { view.SetSize(1); }), Sjis(kWriteError));
  EXPECT_EQ(block, (std::array<std::uint8_t, 3>{1, 2, 3}));

  // EReadError is a filer error, and that a stream error.
  EXPECT_TRUE(EReadError(msg::ReadError).InheritsFrom(EStreamError::StaticClassInfo()));
}

TEST(StreamsTest, MemoryStreamGrowsWithZeroBytesAndShrinks) {
  TMemoryStream stream;
  stream.SetPosition(3);
  stream.WriteBuffer("xy", 2);
  EXPECT_EQ(Contents(stream), (Bytes{0, 0, 0, 'x', 'y'}));

  stream.SetPosition(4);
  stream.WriteBuffer("ZZ", 2);  // overwrites one byte, appends one
  EXPECT_EQ(Contents(stream), (Bytes{0, 0, 0, 'x', 'Z', 'Z'}));

  stream.SetSize(8);
  EXPECT_EQ(Contents(stream), (Bytes{0, 0, 0, 'x', 'Z', 'Z', 0, 0}));
  EXPECT_EQ(stream.Position(), 6);
  stream.SetSize(2);  // below the position: the position follows
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_EQ(stream.Size(), 2);
  EXPECT_EQ(test::MessageOf<EStreamError>([&] { stream.SetSize(-1); }), Sjis(kWriteError));
  EXPECT_EQ(stream.Size(), 2);

  // A write at a position before the start transfers nothing.
  stream.SetPosition(-4);
  EXPECT_EQ(stream.Write("q", 1), 0u);
  EXPECT_EQ(stream.Size(), 2);

  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Position(), 0);
}

TEST(StreamsTest, ResourceStreamReadsTheProgramsFormResource) {
  const auto bytes = platform::FindRawResource("TFORM2");
  ASSERT_TRUE(bytes.has_value());
  TResourceStream stream("tForm2");  // the name ignores letter case
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(bytes->size()));
  // The start of the version window's stream: signature, class and name.
  std::string start(17, '\0');
  stream.ReadBuffer(start.data(), start.size());
  EXPECT_EQ(start, std::string("TPF0\x06TForm2\x05"
                               "Form2"));
  EXPECT_EQ(stream.Position(), 17);
  stream.SetPosition(stream.Size() - 3);
  EXPECT_EQ(ReadText(stream, 8), std::string(3, '\0'));  // the three end markers

  const std::string cantWrite = Sjis("読み込み専用リソース ストリームには書き込めません");
  EXPECT_EQ(test::MessageOf<EStreamError>([&] { stream.Write("x", 1); }), cantWrite);
  EXPECT_EQ(test::MessageOf<EStreamError>([&] { stream.WriteBuffer("x", 1); }), cantWrite);
  EXPECT_EQ(test::MessageOf<EStreamError>([&] { stream.SetSize(0); }), cantWrite);
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(bytes->size()));
}

TEST(StreamsTest, AMissingResourceNamesItself) {
  EXPECT_EQ(test::MessageOf<EResNotFound>([] { TResourceStream stream("TFORM9"); }),
            Sjis("TFORM9 リソースが見つかりません"));
  EXPECT_EQ(test::MessageOf<EResNotFound>([] { TResourceStream stream(""); }), Sjis(" リソースが見つかりません"));
  // The part before a zero byte names a resource that exists; the whole name does not.
  EXPECT_THROW(TResourceStream(std::string_view("TFORM2\0x", 8)), EResNotFound);
}

}  // namespace
}  // namespace tw
