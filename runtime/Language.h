// The language of the user interface: which of the module's resources (the
// windows' descriptions, the message table) the program reads. Decided once,
// by the program's entry, before anything is read; everything below only asks.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tw {

enum class TUiLanguage : std::uint8_t { Japanese, English };

// The language resources are read in: Japanese until an entry decides.
TUiLanguage UiLanguage();
void SetUiLanguage(TUiLanguage language);

// The platform's language id of the resources of that language (0x0411, 0x0409).
std::uint16_t LanguageId(TUiLanguage language);

// Japanese for a language id whose primary language is Japanese (0x11), else
// English.
TUiLanguage LanguageOfId(std::uint16_t languageId);

// Japanese for a locale name that starts with "ja" ("ja_JP.UTF-8"), else English.
TUiLanguage LanguageOfLocaleName(std::string_view name);

// The locale name that decides the language where the platform has no
// interface language of its own: the first of LC_ALL, LC_MESSAGES and LANG
// that is set and not empty, as the C library orders them; nothing when none is.
std::optional<std::string_view> MessagesLocaleName();

}  // namespace tw
