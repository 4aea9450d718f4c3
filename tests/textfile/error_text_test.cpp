#include "textfile/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

TEST(SystemErrorText, CommonCausesReadInJapanese)
{
    struct Case {
        int err;
        const char* text;
    };
    const Case cases[] = {
        {ENOSPC, "ディスクの空き容量が足りません"},
#ifdef EDQUOT  // not on Windows
        {EDQUOT, "ディスクの使用量の上限(クォータ)を超えています"},
#endif
        {EACCES, "アクセスが許可されていません"},
        {EPERM, "アクセスが許可されていません"},
        {EROFS, "読み取り専用のファイルシステムです"},
        {ENOENT, "ファイルまたはフォルダが見つかりません"},
        {EIO, "入出力エラーが起きました"},
        {EISDIR, "同じ名前のフォルダがあります"},
        {kErrNotRegularFile, "通常のファイルではありません"},
        {kErrForeignLink, "共有フォルダにある他のユーザーのリンクです"},
        {kErrForeignFile, "共有フォルダにある他のユーザーのファイルです"},
        {kErrFolderInput, "ファイルではなくフォルダです"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SystemErrorText(c.err), c.text) << c.err;
}

TEST(SystemErrorText, AnythingElseIsTheSystemsText)
{
    EXPECT_EQ(SystemErrorText(EXDEV), std::strerror(EXDEV));
    EXPECT_FALSE(SystemErrorText(EXDEV).empty());
}

TEST(SpoolerErrorText, CupsAnswersReadInJapanese)
{
    struct Case {
        const char* answer;
        const char* text;
    };
    const Case cases[] = {
        // What lpstat -r and lp say in a C locale.
        {"scheduler is not running\n", "印刷スプーラ(CUPS)が動作していません"},
        {"lp: Error - Scheduler not responding.", "印刷スプーラ(CUPS)が動作していません"},
        {"lp: Unable to connect to server: Connection refused", "印刷スプーラ(CUPS)が動作していません"},
        {"lp: Destination \"office\" is not accepting jobs.", "プリンタが印刷ジョブを受け付けていません"},
        {"lp: Error - The printer or class does not exist.", "プリンタが見つかりません"},
        {"lp: Error - unknown destination \"x\".", "プリンタが見つかりません"},
        // Anything else is shown as the spooler wrote it.
        {"  lp: Error - some new trouble  \n", "lp: Error - some new trouble"},
        {"lp: エラー - 日本語の答え", "lp: エラー - 日本語の答え"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SpoolerErrorText(c.answer), c.text) << c.answer;
}
