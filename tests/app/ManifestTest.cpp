// The program's application manifest, read back from tarnwick.exe and built
// into an activation context by the platform's own parser.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <string_view>

namespace {

constexpr const char* kWindowsSettings = "http://schemas.microsoft.com/SMI/2005/WindowsSettings";

// tarnwick.exe as this process names it: the build's path on drive Z:.
std::string ProgramPath() { return std::string("Z:") + TW_TARNWICK_PATH; }

// The bytes of a module's manifest resource (empty without one).
std::string ManifestOf(HMODULE module) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const auto* bytes = static_cast<const char*>(LockResource(loaded));
  return bytes ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

class ActivationContext {
 public:
  explicit ActivationContext(const std::string& module) {
    ACTCTXA request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = module.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(1);
    handle_ = CreateActCtxA(&request);
  }
  ~ActivationContext() {
    if (Valid()) ReleaseActCtx(handle_);
  }
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

std::wstring Widen(std::string_view text) { return std::wstring(text.begin(), text.end()); }

TEST(Manifest, TheProgramCarriesTheManifestThisTestRunsWith) {
  HMODULE program = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr) << ProgramPath();
  const std::string programManifest = ManifestOf(program);
  FreeLibrary(program);
  EXPECT_FALSE(programManifest.empty());
  EXPECT_EQ(programManifest, ManifestOf(GetModuleHandleA(nullptr)));
}

TEST(Manifest, WellFormedSystemAwareAndClassic) {
  // The platform refuses to build a context from a manifest it cannot parse.
  ActivationContext context(ProgramPath());
  ASSERT_TRUE(context.Valid()) << "error " << GetLastError();
  wchar_t value[32] = {};
  SIZE_T length = 0;
  ASSERT_TRUE(QueryActCtxSettingsW(0, context.Handle(), Widen(kWindowsSettings).c_str(), L"dpiAware", value,
                                   std::size(value), &length));
  EXPECT_STREQ(value, L"true");
  // The program's own assembly only: no dependency on the themed common
  // controls (or anything else).
  alignas(ACTIVATION_CONTEXT_DETAILED_INFORMATION) unsigned char buffer[4096] = {};
  SIZE_T written = 0;
  ASSERT_TRUE(QueryActCtxW(0, context.Handle(), nullptr, ActivationContextDetailedInformation, buffer, sizeof buffer,
                           &written));
  EXPECT_EQ(reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer)->ulAssemblyCount, 1u);
}

TEST(Manifest, TheProcessIsResolutionAware) {
  // Without the manifest Windows would report 96 dpi and stretch the windows.
  // Wine treats every process as aware, so there this holds either way and the
  // checks of the manifest above are the ones that notice it missing.
  EXPECT_TRUE(IsProcessDPIAware());
}

}  // namespace
