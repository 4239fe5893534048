// The one narrow seam between the portable layers and the platform. The Windows
// implementation calls the platform; the native one serves the same data,
// compiled in from the same resource sources.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime/Language.h"

namespace tw::platform {

// The user's interface language as the platform reports it: the user's
// user-interface language on Windows, the messages locale of the environment
// natively. Only the programs' entries ask, once, before anything is read.
TUiLanguage UserInterfaceLanguage();

// The message-table entry in the interface language (UiLanguage, Japanese
// where that language has none) with this id, as LoadStringA gives it (at most 1023
// bytes, code page 932); nothing when the module has no such entry.
std::optional<std::string> LoadMessage(unsigned id);

// The bytes of the raw-data resource of that name (type 10); nothing when absent.
std::optional<std::span<const std::uint8_t>> FindRawResource(std::string_view name);

// Locale-aware comparison ignoring case (CompareStringA with the user's default
// locale and NORM_IGNORECASE): negative, zero or positive.
int CompareTextIgnoreCase(std::string_view a, std::string_view b);

// A setting of the user's locale as the platform states it (GetLocaleInfoA
// with the user's default locale); nothing when it states none.
enum class LocaleSetting : std::uint8_t { CurrencyDecimals };
std::optional<std::string> UserLocaleSetting(LocaleSetting setting);

// True when the byte starts a double-byte character in the ANSI code page.
bool IsLeadByte(std::uint8_t byte);

// Conversions between the ANSI code page (932) and 16-bit text, as the
// platform's MultiByteToWideChar/WideCharToMultiByte do them; a character the
// target cannot hold becomes "?".
std::string WideToAnsi(std::u16string_view text);
std::u16string AnsiToWide(std::string_view text);

// The full file name of the program's own module.
std::string ModuleFileName();

// Where an address lies: the file of the module whose committed region holds it,
// and that region's allocation base; nothing when no module can be named.
struct AddressOwner {
  std::string moduleFileName;
  std::uintptr_t allocationBase;
};
std::optional<AddressOwner> DescribeAddress(std::uintptr_t address);

// The platform's last error code and its text (FormatMessageA, system table,
// 256-byte buffer, untrimmed).
std::uint32_t LastErrorCode();
std::string ErrorCodeText(std::uint32_t code);

// A task-modal error box without an owner (MessageBoxA, flags 0x2010).
void ShowErrorBox(const std::string& text, const std::string& caption);

}  // namespace tw::platform
