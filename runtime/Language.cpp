#include "runtime/Language.h"

#include <cstdlib>

namespace tw {

namespace {

TUiLanguage uiLanguage = TUiLanguage::Japanese;

}  // namespace

TUiLanguage UiLanguage() { return uiLanguage; }

void SetUiLanguage(TUiLanguage language) { uiLanguage = language; }

std::uint16_t LanguageId(TUiLanguage language) { return language == TUiLanguage::Japanese ? 0x0411 : 0x0409; }

TUiLanguage LanguageOfId(std::uint16_t languageId) {
  return (languageId & 0x3FF) == 0x11 ? TUiLanguage::Japanese : TUiLanguage::English;
}

TUiLanguage LanguageOfLocaleName(std::string_view name) {
  return name.starts_with("ja") ? TUiLanguage::Japanese : TUiLanguage::English;
}

std::optional<std::string_view> MessagesLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return std::string_view(value);
  }
  return std::nullopt;
}

}  // namespace tw
