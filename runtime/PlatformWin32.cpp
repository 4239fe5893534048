// The platform seam of the Windows build: the module's own resources and the
// platform's locale services.
#include <windows.h>

#include <array>
#include <climits>
#include <iterator>

#include "runtime/Exceptions.h"
#include "runtime/Language.h"
#include "runtime/Platform.h"

namespace tw::platform {

namespace {

HMODULE Module() { return GetModuleHandleA(nullptr); }

// The lead bytes of the ANSI code page, read once.
const std::array<bool, 256>& LeadBytes() {
  static const std::array<bool, 256> table = [] {
    std::array<bool, 256> t{};
    CPINFO info;
    if (GetCPInfo(CP_ACP, &info))
      for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
        for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) t[static_cast<std::size_t>(b)] = true;
    return t;
  }();
  return table;
}

}  // namespace

namespace {

// A resource of the module in the language asked for, else in Japanese: looked
// up by language explicitly, since the platform's own choice follows the
// thread's locale, not the interface language the program decided on.
std::optional<std::span<const std::uint8_t>> FindResourceBytes(const char* type, const char* name) {
  for (TUiLanguage language : {UiLanguage(), TUiLanguage::Japanese}) {
    HRSRC info = FindResourceExA(Module(), type, name, LanguageId(language));
    if (!info) continue;
    HGLOBAL handle = LoadResource(Module(), info);
    const DWORD size = SizeofResource(Module(), info);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (data) return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size);
  }
  return std::nullopt;
}

// The string of its string-table block: sixteen counted wide strings.
std::optional<std::u16string_view> StringInBlock(std::span<const std::uint8_t> block, unsigned index) {
  const auto* p = reinterpret_cast<const char16_t*>(block.data());
  const char16_t* end = p + block.size() / 2;
  for (; index > 0 && p < end; --index) p += 1 + *p;
  if (p >= end || *p == 0 || end - (p + 1) < *p) return std::nullopt;
  return std::u16string_view(p + 1, *p);
}

}  // namespace

TUiLanguage UserInterfaceLanguage() { return LanguageOfId(GetUserDefaultUILanguage()); }

// As LoadStringA with a 1,024-byte buffer gives it: at most 1,023 bytes in the
// process's code page, whole characters.
std::optional<std::string> LoadMessage(unsigned id) {
  const auto block = FindResourceBytes(MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(id / 16 + 1));
  const auto wide = block ? StringInBlock(*block, id % 16) : std::nullopt;
  if (!wide) return std::nullopt;
  std::string text = WideToAnsi(*wide);
  if (text.size() > 1023) {
    std::size_t cut = 0;
    for (;;) {
      const std::size_t n = IsLeadByte(static_cast<std::uint8_t>(text[cut])) ? 2 : 1;
      if (cut + n > 1023) break;
      cut += n;
    }
    text.resize(cut);
  }
  return text;
}

std::optional<std::span<const std::uint8_t>> FindRawResource(std::string_view name) {
  const std::string z(name);
  return FindResourceBytes(MAKEINTRESOURCEA(10), z.c_str());
}

// The user's locale decides the comparison; the texts are bytes in the
// process's code page. The narrow function would read them in the code page of
// the locale's language, which on a system of another language is not the
// one a manifest gave the process, so they are converted here first.
int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  const std::u16string wideA = AnsiToWide(a);
  const std::u16string wideB = AnsiToWide(b);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<const wchar_t*>(wideA.data()),
                        static_cast<int>(wideA.size()), reinterpret_cast<const wchar_t*>(wideB.data()),
                        static_cast<int>(wideB.size())) -
         CSTR_EQUAL;
}

bool IsLeadByte(std::uint8_t byte) { return LeadBytes()[byte]; }

std::optional<std::string> UserLocaleSetting(LocaleSetting setting) {
  LCTYPE type = 0;
  switch (setting) {
    case LocaleSetting::CurrencyDecimals: type = LOCALE_ICURRDIGITS; break;
  }
  // Read in wide form and converted by the process's code page, for the
  // reason given at CompareTextIgnoreCase.
  wchar_t buffer[16] = {};
  const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, static_cast<int>(std::size(buffer)));
  if (n <= 1) return std::nullopt;
  return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), static_cast<std::size_t>(n - 1)));
}

std::string ModuleFileName() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, n);
}

std::optional<AddressOwner> DescribeAddress(std::uintptr_t address) {
  MEMORY_BASIC_INFORMATION info;
  if (!VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) || info.State != MEM_COMMIT)
    return std::nullopt;
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(static_cast<HMODULE>(info.AllocationBase), path, sizeof path);
  if (!n) return std::nullopt;
  return AddressOwner{std::string(path, n), reinterpret_cast<std::uintptr_t>(info.AllocationBase)};
}

std::uint32_t LastErrorCode() { return GetLastError(); }

std::string ErrorCodeText(std::uint32_t code) {
  char buffer[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  return std::string(buffer, n);
}

void ShowErrorBox(const std::string& text, const std::string& caption) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_TASKMODAL | MB_ICONERROR);
}

std::string WideToAnsi(std::u16string_view text) {
  std::string out;
  // The platform counts in int; convert in pieces, never splitting a surrogate pair.
  constexpr std::size_t kChunk = 1u << 20;
  while (!text.empty()) {
    std::size_t n = std::min(text.size(), kChunk);
    if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    int needed = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (needed > 0) {
      std::size_t at = out.size();
      out.resize(at + static_cast<std::size_t>(needed));
      WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(n), out.data() + at, needed, nullptr, nullptr);
    }
    text.remove_prefix(n);
  }
  return out;
}

std::u16string AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > static_cast<std::size_t>(INT_MAX)) RaiseOutOfMemory();
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string out(static_cast<std::size_t>(needed), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, reinterpret_cast<wchar_t*>(out.data()), needed);
  return out;
}

}  // namespace tw::platform
