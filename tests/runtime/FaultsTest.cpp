#include "runtime/Faults.h"

#include <gtest/gtest.h>

#include "runtime/Fpu.h"
#include "runtime/Platform.h"
#include "tests/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tw {
namespace {

PlatformExceptionRecord Record(std::uint32_t code, std::uintptr_t address = 0) {
  PlatformExceptionRecord r;
  r.code = code;
  r.address = address;
  return r;
}

TEST(TranslateFault, StatusSelectsClassAndMessage) {
  struct Case {
    std::uint32_t code;
    const char* className;
    const char* message;
  };
  const Case cases[] = {
      {0xC0000094, "EDivByZero", "ゼロによる除算"},
      {0xC000008C, "ERangeError", "範囲チェックエラー"},
      {0xC0000095, "EIntOverflow", "整数のオーバーフロー"},
      {0xC0000090, "EInvalidOp", "不正な浮動小数点数演算命令"},
      {0xC000008F, "EInvalidOp", "不正な浮動小数点数演算命令"},
      {0xC0000092, "EInvalidOp", "不正な浮動小数点数演算命令"},
      {0xC000008E, "EZeroDivide", "0 による浮動小数点数除算"},
      {0xC0000091, "EOverflow", "浮動小数点数のオーバーフロー"},
      {0xC0000093, "EUnderflow", "浮動小数点数のアンダーフロー"},
      {0xC000008D, "EUnderflow", "浮動小数点数のアンダーフロー"},
      {0xC0000096, "EPrivilege", "特権命令違反"},
      {0xC000013A, "EControlC", "CTRL-C"},
      {0xC00000FD, "EStackOverflow", "スタック オーバーフロー"},
      {0xE0000001, "EExternalException", "外部例外 E0000001"},
      {0x0EEFFACE, "EExternalException", "C++ Exception"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.className);
    auto error = TranslateFault(Record(c.code, 0x1234));
    EXPECT_STREQ(error->ClassName(), c.className);
    EXPECT_EQ(error->Message(), test::Sjis(c.message));
    auto* external = dynamic_cast<EExternal*>(error.get());
    ASSERT_NE(external, nullptr);
    EXPECT_EQ(external->ExceptionRecord().code, c.code);
    EXPECT_EQ(external->ExceptionRecord().address, 0x1234u);
  }
}

TEST(TranslateFault, AccessViolationNamesKindTargetAndModule) {
  PlatformExceptionRecord r = Record(0xC0000005, 0);
  r.parameterCount = 2;
  r.information[0] = 1;
  r.information[1] = 0x10;
  // An address with no module behind it.
  EXPECT_EQ(TranslateFault(r)->Message(),
            test::Sjis("アドレス 00000000 でアドレス 00000010 に対する書き込み違反がおきました。"));
  // An address inside this program: the module's file name without its directory.
  r.address = reinterpret_cast<std::uintptr_t>(&TranslateFault);
  r.information[0] = 0;
  const std::string message = TranslateFault(r)->Message();
  const std::string module(FileNameOnly(platform::ModuleFileName()));
  EXPECT_EQ(message.rfind(test::Sjis("モジュール '") + module + "'", 0), 0u) << message;
  EXPECT_NE(message.find(test::Sjis("に対する読み込み違反がおきました。")), std::string::npos);
}

TEST(RuntimeErrorHook, NumbersMapToClassesInOrder) {
  const char* names[] = {"EDivByZero",       "ERangeError",       "EIntOverflow",     "EInvalidOp",
                         "EZeroDivide",      "EOverflow",         "EUnderflow",       "EInvalidCast",
                         "EAccessViolation", "EPrivilege",        "EControlC",        "EStackOverflow",
                         "EVariantError",    "EVariantError",     "EVariantError",    "EVariantError",
                         "EVariantError",    "EVariantError",     "EAssertionFailed", "EExternalException",
                         "EIntfCastError",   "ESafecallException"};
  for (int error = 3; error <= 24; ++error) {
    try {
      RaiseRuntimeError(error);
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), names[error - 3]) << error;
      EXPECT_FALSE(e.Message().empty()) << error;
    }
  }
  EXPECT_THROW(RaiseRuntimeError(1), EOutOfMemory);
  EXPECT_THROW(RaiseRuntimeError(2), EInvalidPointer);
}

TEST(RuntimeErrorHook, InputOutputErrorsTakeThePendingResult) {
  const struct {
    int code;
    const char* message;
  } cases[] = {{2, "ファイルが見つかりません"},
               {5, "ファイルへのアクセスが拒否されました"},
               {106, "入力値が数値ではありません"},
               {77, "I/O エラー (77)"},
               {0, "I/O エラー (0)"}};
  for (const auto& c : cases) {
    SetInOutResult(c.code);
    try {
      RaiseRuntimeError(100);
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
      EXPECT_EQ(e.Message(), test::Sjis(c.message));
    }
    EXPECT_EQ(TakeInOutResult(), 0) << "the result is cleared when taken";
  }
}

TEST(RuntimeErrorHook, AssertionFailureNamesFileAndLine) {
  try {
    RaiseAssertionFailed("", "Unit.cpp", 42);
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), test::Sjis("アサート失敗 (Unit.cpp, 42 行)"));
  }
  try {
    RaiseAssertionFailed("x > 0", "Unit.cpp", 7);
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), test::Sjis("x > 0 (Unit.cpp, 7 行)"));
  }
}

TEST(ExceptionReport, NamesClassModuleAddressAndMessage) {
  EZeroDivide error(msg::ZeroDivide);
  ExceptionReport report = MakeExceptionReport(&error, 0);
  const std::string module(FileNameOnly(platform::ModuleFileName()));
  EXPECT_EQ(report.text, test::Sjis("EZeroDivideがモジュール ") + module +
                             test::Sjis(" の 00000000 で発生しました。\n0 による浮動小数点数除算."));
  EXPECT_EQ(report.caption, test::Sjis("アプリケーション エラー"));

  Exception withDot("done.");
  EXPECT_EQ(MakeExceptionReport(&withDot, 0).text.substr(MakeExceptionReport(&withDot, 0).text.size() - 6), "\ndone.");
  TObject plain;
  EXPECT_EQ(MakeExceptionReport(&plain, 0).text.back(), '\n');
  Exception huge(std::string(3000, 'x'));
  EXPECT_EQ(MakeExceptionReport(&huge, 0).text.size(), 1023u);
}

TEST(PlatformError, CheckPlatformResultPassesNonZero) { EXPECT_EQ(CheckPlatformResult(42), 42); }

#ifdef _WIN32
TEST(PlatformError, MessageCarriesCodeAndTrimmedPlatformText) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  try {
    RaisePlatformError();
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode(), 2u);
    const std::string prefix = test::Sjis("Win32 エラー。コード : 2.\n");
    ASSERT_EQ(e.Message().rfind(prefix, 0), 0u) << e.Message();
    const char last = e.Message().back();
    EXPECT_TRUE(last != '.' && static_cast<unsigned char>(last) >= '!') << e.Message();
  }
  SetLastError(0);
  try {
    CheckPlatformResult(0);
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.Message(), test::Sjis("Win32 API 呼び出しに失敗しました"));
  }
}

// Real processor faults in the program's own code reach handlers as objects.
volatile int zero = 0;
int* volatile nullPointer = nullptr;
volatile int sink = 0;

__attribute__((noinline)) int DivideByZero(int a) { return a / zero; }
__attribute__((noinline)) int ReadNull() { return *nullPointer; }
__attribute__((noinline)) void WriteNull() { *nullPointer = 1; }

TEST(FaultTranslation, IntegerDivisionByZeroBecomesEDivByZero) {
  for (int i = 0; i < 3; ++i) {
    try {
      sink = DivideByZero(5);
      FAIL();
    } catch (const EDivByZero& e) {
      EXPECT_EQ(e.Message(), test::Sjis("ゼロによる除算"));
      EXPECT_EQ(e.ExceptionRecord().code, 0xC0000094u);
    }
  }
}

TEST(FaultTranslation, NullAccessBecomesEAccessViolationNamingTheProgram) {
  const std::string module(FileNameOnly(platform::ModuleFileName()));
  try {
    sink = ReadNull();
    FAIL();
  } catch (const EAccessViolation& e) {
    EXPECT_NE(e.Message().find(module), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find(test::Sjis("00000000 に対する読み込み違反")), std::string::npos) << e.Message();
  }
  try {
    WriteNull();
    FAIL();
  } catch (const EAccessViolation& e) {
    EXPECT_NE(e.Message().find(test::Sjis("書き込み違反")), std::string::npos) << e.Message();
  }
}

// A trap from an unmasked floating-point fault is translated too, and the unit
// is reset so that the next computation runs clean.
__attribute__((noinline)) long double TrappingDivide(long double a, long double b) {
  volatile long double x = a, y = b;
  std::uint16_t cw = kFpuPolicyWord;
  asm volatile("fldcw %0" ::"m"(cw));
  volatile long double r = x / y;
  asm volatile("fwait");
  return r;
}

TEST(FaultTranslation, UnmaskedFloatingPointTrapBecomesEZeroDivide) {
  try {
    TrappingDivide(1, 0);
    FAIL();
  } catch (const EZeroDivide& e) {
    EXPECT_EQ(e.ExceptionRecord().code, 0xC000008Eu);
  }
  EXPECT_EQ(CurrentFpuControlWord() & ~0x40, kFpuPolicyWord | 0x3F);  // bit 6 is reserved
  EXPECT_EQ(fpu::Div(6, 3), 2.0L);
}
#endif

}  // namespace
}  // namespace tw

// The file name of a path starts after its last separator, found a character
// at a time: the second byte of a double-byte character ("ソ" is 0x83 0x5C in
// code page 932) is not a separator.
TEST(FileNameOnlyTest, TrailBytesAreNoSeparators) {
  const struct {
    std::string_view path;
    std::string_view name;
  } cases[] = {
      {"C:\\TOOLS\\CALC.EXE", "CALC.EXE"},
      {"C:/tools/calc.exe", "calc.exe"},
      {"CALC.EXE", "CALC.EXE"},
      {"C:\\\x83\x5C\\x.exe", "x.exe"},
      {"C:\\dir\\\x83\x5C.exe", "\x83\x5C.exe"},
      {"C:\\dir\\", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(tw::FileNameOnly(c.path), c.name) << c.path;
}
