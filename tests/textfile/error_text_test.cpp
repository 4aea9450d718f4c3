#include "textfile/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

TEST(SystemErrorText, CommonCausesReadInJapanese)
{
    struct Case {
        std::error_code err;
        const char* text;
    };
    const Case cases[] = {
        {SystemError(ENOSPC), "ディスクの空き容量が足りません"},
#ifdef EDQUOT  // not on Windows
        {SystemError(EDQUOT), "ディスクの使用量の上限(クォータ)を超えています"},
#endif
        {SystemError(EACCES), "アクセスが許可されていません"},
        {SystemError(EPERM), "アクセスが許可されていません"},
        {SystemError(EROFS), "読み取り専用のファイルシステムです"},
        {SystemError(ENOENT), "ファイルまたはフォルダが見つかりません"},
        {SystemError(EIO), "入出力エラーが起きました"},
        {SystemError(EISDIR), "同じ名前のフォルダがあります"},
        {IoReason::NotRegularFile, "通常のファイルではありません"},
        {IoReason::ForeignLink, "共有フォルダにある他のユーザーのリンクです"},
        {IoReason::ForeignFile, "共有フォルダにある他のユーザーのファイルです"},
        {IoReason::FolderInput, "ファイルではなくフォルダです"},
        // A failed call that set no errno still says something.
        {SystemError(0), "入出力エラーが起きました"},
#if !defined(_WIN32)
        // std::filesystem's errors come in the system's category.
        {std::error_code(ENOSPC, std::system_category()), "ディスクの空き容量が足りません"},
#endif
    };
    for (const Case& c : cases)
        EXPECT_EQ(SystemErrorText(c.err), c.text) << c.err;
}

TEST(SystemErrorText, AnythingElseIsTheSystemsText)
{
    EXPECT_EQ(SystemErrorText(SystemError(EXDEV)), std::strerror(EXDEV));
    EXPECT_FALSE(SystemErrorText(SystemError(EXDEV)).empty());
    // The command line's words: the system's text, the program's own reasons with English.
    EXPECT_EQ(CommandLineErrorText(SystemError(EXDEV)), std::strerror(EXDEV));
    EXPECT_EQ(CommandLineErrorText(IoReason::FolderInput), "ファイルではなくフォルダです (a folder, not a file)");
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
