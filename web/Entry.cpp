// The calculator's entry for the browser page: the window's two computations
// over the texts of its eight fields, and the running time and size of a file
// that the page reads slice by slice where it lies (nothing is uploaded).
//
// Texts go in and out as lines: the eight fields in the window's order (time,
// target size, current audio, video, current video, current size, new audio,
// new video). An answer's first line says what follows:
//   "fields"              the eight texts the window's fields show afterwards
//                         (UTF-8, as the page gave them: the fields' texts
//                         are only ever parsed as ASCII digits or copied);
//   "raised" CLASS TEXT   an error that leaves the computation (0 ÷ 0): its
//                         exception class and the message the window shows;
//   "file" M MB B R       the running time in whole minutes, the size in whole
//                         megabytes, as the window fills its fields, the size
//                         in bytes, and how many bytes finding the time read;
//   "refused" REASON BEFORE AFTER
//                         a file whose running time cannot be read: the
//                         reason's name and the window's message around the
//                         file's name.
// Messages come from the module's own message table in the language the page
// chose, in code page 932 as the window has them; the page decodes them.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/Bitrate.h"
#include "app/FileMessage.h"
#include "media/Duration.h"
#include "runtime/Exceptions.h"
#include "runtime/Language.h"

namespace {

using tw::BitrateField;

// Reads the file's bytes at an offset into wasm memory: the page answers from
// the File it holds (a worker's synchronous slice read). Offsets are doubles,
// exact up to 2^53, so files past 4 GiB are read where they lie.
EM_JS(double, ReadSlice, (double offset, std::uint8_t* into, double length),
      { return Module.readSlice(offset, into, length); });

class PageFields final : public tw::BitrateFields {
 public:
  explicit PageFields(std::vector<std::string> texts) : texts_(std::move(texts)) { texts_.resize(8); }
  std::string ReadField(BitrateField field) override { return texts_[static_cast<std::size_t>(field)]; }
  void WriteField(BitrateField field, const std::string& text) override {
    texts_[static_cast<std::size_t>(field)] = text;
  }
  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
};

class PageFile final : public tw::media::ByteSource {
 public:
  explicit PageFile(std::uint64_t size) : ByteSource(size) {}

 protected:
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
    const double got = ReadSlice(static_cast<double>(offset), buffer.data(), static_cast<double>(buffer.size()));
    return got > 0 ? static_cast<std::size_t>(std::min<double>(got, static_cast<double>(buffer.size()))) : 0;
  }
};

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

const char* Answer(std::initializer_list<std::string_view> lines) {
  static std::string answer;
  answer.clear();
  for (std::string_view line : lines) {
    if (!answer.empty()) answer += '\n';
    answer += line;
  }
  return answer.c_str();
}

const char* Refused(tw::media::MediaError error) {
  const tw::TTextAroundName text = tw::FileErrorText(error);
  return Answer({"refused", tw::media::NameOf(error), text.before, text.after});
}

}  // namespace

extern "C" {

// The language of the messages: 1 for English, 0 for Japanese.
EMSCRIPTEN_KEEPALIVE void tw_set_language(int english) {
  tw::SetUiLanguage(english ? tw::TUiLanguage::English : tw::TUiLanguage::Japanese);
}

// which: 0 for the calculator's button, 1 for the re-calculator's.
EMSCRIPTEN_KEEPALIVE const char* tw_compute(int which, const char* fields) {
  PageFields page(Lines(fields ? fields : ""));
  try {
    if (which == 0)
      tw::CalcBitrate(page, tw::Arithmetic::Software);
    else
      tw::ReCalcBitrate(page, tw::Arithmetic::Software);
  } catch (const tw::Exception& e) {
    return Answer({"raised", e.ClassName(), e.Message()});
  }
  std::string out = "fields";
  for (const std::string& text : page.Texts()) out += "\n" + text;
  return Answer({out});
}

// size: the file's size in bytes, as the page knows it.
EMSCRIPTEN_KEEPALIVE const char* tw_read_file(double size) {
  if (!(size >= 0 && size < 18446744073709551616.0)) return Refused(tw::media::MediaError::CannotOpen);
  PageFile file(static_cast<std::uint64_t>(size));
  const tw::media::Result<tw::media::Duration> duration = tw::media::ReadDuration(file);
  if (!duration) return Refused(duration.Error());
  return Answer({"file", std::to_string(tw::media::WholeMinutesRoundedUp(*duration)),
                 std::to_string(tw::media::MegabytesRoundedUp(file.Size())), std::to_string(file.Size()),
                 std::to_string(file.BytesRead())});
}

// A folder was dropped: the window's message for a name that is no file.
EMSCRIPTEN_KEEPALIVE const char* tw_not_a_file() { return Refused(tw::media::MediaError::NotAFile); }

}  // extern "C"
