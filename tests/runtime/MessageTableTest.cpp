#include <gtest/gtest.h>

#include "runtime/Exceptions.h"
#include "runtime/Language.h"
#include "tests/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tw {
namespace {

#ifdef _WIN32
TEST(MessageTable, TheProgramRunsInCodePage932) { EXPECT_EQ(GetACP(), 932u); }
#endif

struct Entry {
  std::uint16_t id;
  const char* utf8;
};

// The entries are compared byte for byte with their code page 932 form, in the
// Windows build through the module's string resources.
TEST(MessageTable, EntriesComeOutByteExact) {
  const Entry entries[] = {
      {65408, "外部例外 %x"},
      {65409, "アサート失敗"},
      {65410, "Interface はサポートされていません"},
      {65411, "safecall メソッド内で例外が発生しました。"},
      {65412, "%s (%s, %d 行)"},
      {65413, "Abstract エラー"},
      {65414, "モジュール '%1:s' のアドレス %0:p でアドレス %3:p に対する%2:s違反がおきました。"},
      {65415, "Win32 エラー。コード : %d.\n%s"},
      {65416, "Win32 API 呼び出しに失敗しました"},
      {65424, "アドレス %0:p でアドレス %2:p に対する%1:s違反がおきました。"},
      {65425, "スタック オーバーフロー"},
      {65426, "CTRL-C"},
      {65427, "特権命令違反"},
      {65428, "%sがモジュール %s の %p で発生しました。\n%s%s"},
      {65429, "アプリケーション エラー"},
      {65430, "書式文字列 '%s' は正しくないか引数の型と一致しません"},
      {65431, "書式文字列 '%s' の引数が見つかりません"},
      {65435, "読み込み"},
      {65436, "書き込み"},
      {65440, "ファイルが見つかりません"},
      {65441, "不正なファイル名です"},
      {65442, "オープンしたファイルが多すぎます"},
      {65443, "ファイルへのアクセスが拒否されました"},
      {65444, "ファイルの末尾以降を読み込みました"},
      {65445, "ディスクがいっぱいです"},
      {65446, "入力値が数値ではありません"},
      {65447, "ゼロによる除算"},
      {65448, "範囲チェックエラー"},
      {65449, "整数のオーバーフロー"},
      {65450, "不正な浮動小数点数演算命令"},
      {65451, "0 による浮動小数点数除算"},
      {65452, "浮動小数点数のオーバーフロー"},
      {65453, "浮動小数点数のアンダーフロー"},
      {65454, "無効なポインタ操作"},
      {65455, "無効なクラス型キャスト"},
      {65469, "'%s' は整数ではありません"},
      {65470, "メモリが足りません"},
      {65471, "I/O エラー (%d)"},
      {msg::AssignError.value, "%s を %s に代入することはできません"},
      {msg::ListCapacityError.value, "リストの容量が超えました (%d)"},
      {msg::ListCountError.value, "リストの個数を超えました (%d)"},
      {msg::DuplicateItem.value, "リストは重複を許しません。($0%x)"},
      {msg::SortedListError.value, "ソートされる文字列リストに対しては許されない動作です"},
      {msg::DuplicateString.value, "文字列リストは重複を許しません"},
      {65530, "リストのインデックスが範囲を超えています (%d)"},
      {65529, "%s リソースが見つかりません"},
      {msg::ActionCheck.value, "チェックする"},
      {msg::ActionUncheck.value, "チェックを外す"},
  };
  for (const auto& e : entries) {
    SCOPED_TRACE(e.id);
    EXPECT_EQ(LoadResString(ResId{e.id}), test::Sjis(e.utf8));
  }
}

// Every entry has its English twin, in ASCII, looked up by the interface
// language and not by the system's; free ids stay free in both.
TEST(MessageTable, EveryEntryHasAnEnglishTwin) {
  int entries = 0;
  for (unsigned id = 65376; id <= 65535; ++id) {
    SCOPED_TRACE(id);
    const std::string japanese = LoadResString(ResId{static_cast<std::uint16_t>(id)});
    SetUiLanguage(TUiLanguage::English);
    const std::string english = LoadResString(ResId{static_cast<std::uint16_t>(id)});
    SetUiLanguage(TUiLanguage::Japanese);
    EXPECT_EQ(english.empty(), japanese.empty());
    EXPECT_TRUE(test::IsAscii(english)) << english;
    entries += !english.empty();
  }
  EXPECT_EQ(entries, 107);
  SetUiLanguage(TUiLanguage::English);
  EXPECT_EQ(LoadResString(ResId{65447}), "Division by zero");
  EXPECT_EQ(LoadResString(msg::ActionPress), "Press");
  EXPECT_EQ(LoadResString(msg::ActionUncheck), "Uncheck");
  EXPECT_EQ(Exception(msg::FileNoRunningTime, {"a.avi"}).Message(),
            "No running time can be read from the file \"a.avi\".");
  SetUiLanguage(TUiLanguage::Japanese);
  EXPECT_EQ(LoadResString(ResId{65447}), test::Sjis("ゼロによる除算"));
}

TEST(MessageTable, FreeIdsGiveTheEmptyText) {
  EXPECT_EQ(LoadResString(ResId{65376}), "");
  EXPECT_EQ(LoadResString(ResId{65535}), "");
  EXPECT_EQ(Exception(ResId{65376}).Message(), "");
}

}  // namespace
}  // namespace tw
