#include "app/FileMessage.h"

#include "runtime/Exceptions.h"
#include "runtime/Format.h"

namespace tw {

ResId FileErrorMessageId(media::MediaError error) {
  switch (error) {
    case media::MediaError::CannotOpen: return msg::FileCannotOpen;
    case media::MediaError::NotAFile: return msg::FileIsNoFile;
    case media::MediaError::UnsupportedFormat: return msg::FileFormatUnknown;
    case media::MediaError::ReadFailed: return msg::FileReadFailed;
    case media::MediaError::Damaged: break;
  }
  return msg::FileNoRunningTime;
}

TTextAroundName FileErrorText(media::MediaError error) {
  // The formatter places the name; a marker that no table text holds (and that
  // is never the second byte of a double-byte character) shows where.
  constexpr char kMarker = '\x01';
  const std::string text = FormatText(LoadResString(FileErrorMessageId(error)), {std::string_view(&kMarker, 1)});
  const std::size_t at = text.find(kMarker);
  if (at == std::string::npos) return {text, {}};
  return {text.substr(0, at), text.substr(at + 1)};
}

}  // namespace tw
