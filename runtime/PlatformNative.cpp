// The platform seam of the native build: the module's resources are compiled in,
// and the platform's locale services are approximated for code page 932.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runtime/Language.h"
#include "runtime/MessageTable.h"
#include "runtime/Platform.h"
#include "runtime/RawResources.h"
#include "runtime/Text.h"

namespace tw::platform {

namespace {

const MessageTableEntry* FindMessage(const MessageTableEntry* table, std::size_t size, unsigned id) {
  const MessageTableEntry* end = table + size;
  const MessageTableEntry* entry =
      std::lower_bound(table, end, id, [](const MessageTableEntry& e, unsigned key) { return e.id < key; });
  return entry != end && entry->id == id ? entry : nullptr;
}

const RawResourceEntry* FindRaw(std::string_view name, TUiLanguage language) {
  for (const RawResourceEntry* e = kRawResources; e->name; ++e)
    if (e->language == LanguageId(language) && SameAsciiText(e->name, name)) return e;
  return nullptr;
}

}  // namespace

TUiLanguage UserInterfaceLanguage() { return LanguageOfLocaleName(MessagesLocaleName().value_or("")); }

// As the Windows build: the entry in the interface's language, else the Japanese one.
std::optional<std::string> LoadMessage(unsigned id) {
  const MessageTableEntry* entry = nullptr;
  if (UiLanguage() == TUiLanguage::English) entry = FindMessage(kMessageTableEnglish, kMessageTableEnglishSize, id);
  if (!entry) entry = FindMessage(kMessageTable, kMessageTableSize, id);
  if (!entry) return std::nullopt;
  std::string text(entry->text);
  if (text.size() > 1023) text.resize(1023);
  return text;
}

std::optional<std::span<const std::uint8_t>> FindRawResource(std::string_view name) {
  const RawResourceEntry* e = FindRaw(name, UiLanguage());
  if (!e) e = FindRaw(name, TUiLanguage::Japanese);
  if (!e) return std::nullopt;
  return std::span<const std::uint8_t>(e->data, e->size);
}

int CompareTextIgnoreCase(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int d = fold(a[i]) - fold(b[i]);
    if (d) return d < 0 ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool IsLeadByte(std::uint8_t byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// The Japanese locale the Windows build runs under.
std::optional<std::string> UserLocaleSetting(LocaleSetting setting) {
  switch (setting) {
    case LocaleSetting::CurrencyDecimals: return "0";
  }
  return std::nullopt;
}

std::string ModuleFileName() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

std::optional<AddressOwner> DescribeAddress(std::uintptr_t address) {
  Dl_info info;
  if (!address || !dladdr(reinterpret_cast<void*>(address), &info) || !info.dli_fname || !info.dli_fbase)
    return std::nullopt;
  return AddressOwner{info.dli_fname, reinterpret_cast<std::uintptr_t>(info.dli_fbase)};
}

std::uint32_t LastErrorCode() { return static_cast<std::uint32_t>(errno); }

std::string ErrorCodeText(std::uint32_t code) { return std::strerror(static_cast<int>(code)); }

void ShowErrorBox(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace tw::platform
