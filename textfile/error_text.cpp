#include "textfile/error_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>
#include <system_error>

std::string SystemErrorText(int err)
{
    switch (err) {
    case ENOSPC:
        return "ディスクの空き容量が足りません";
#ifdef EDQUOT
    case EDQUOT:
        return "ディスクの使用量の上限(クォータ)を超えています";
#endif
    case EACCES:
    case EPERM:
        return "アクセスが許可されていません";
    case EROFS:
        return "読み取り専用のファイルシステムです";
    case ENOENT:
        return "ファイルまたはフォルダが見つかりません";
    case ENOTDIR:
        return "パスの途中がフォルダではありません";
    case EISDIR:
        return "同じ名前のフォルダがあります";
    case ENAMETOOLONG:
        return "名前が長すぎます";
    case EFBIG:
        return "ファイルが大きすぎます";
    case EIO:
        return "入出力エラーが起きました";
    case kErrNotRegularFile:
        return "通常のファイルではありません";
    case kErrForeignLink:
        return "共有フォルダにある他のユーザーのリンクです";
    case kErrForeignFile:
        return "共有フォルダにある他のユーザーのファイルです";
    case kErrFolderInput:
        return "ファイルではなくフォルダです";
    default:
        return std::generic_category().message(err);
    }
}

std::string CommandLineErrorText(int err)
{
    switch (err) {
    case kErrNotRegularFile:
        return SystemErrorText(err) + " (not a regular file)";
    case kErrForeignLink:
        return SystemErrorText(err) + " (a link another user owns in a folder others may write)";
    case kErrForeignFile:
        return SystemErrorText(err) + " (a file another user owns in a folder others may write)";
    case kErrFolderInput:
        return SystemErrorText(err) + " (a folder, not a file)";
    default:
        return std::generic_category().message(err);
    }
}

namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string Trimmed(const std::string& text)
{
    const char* const space = " \t\r\n";
    const std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

}  // namespace

std::string SpoolerErrorText(const std::string& answer)
{
    // CUPS writes these in English under a C locale; matched loosely, since the
    // wording differs a little between lp, lpstat and versions.
    struct Cause {
        std::string_view key;
        const char* text;
    };
    static const Cause kCauses[] = {
        {"scheduler is not running", "印刷スプーラ(CUPS)が動作していません"},
        {"scheduler not responding", "印刷スプーラ(CUPS)が動作していません"},
        {"unable to connect to server", "印刷スプーラ(CUPS)が動作していません"},
        {"not accepting jobs", "プリンタが印刷ジョブを受け付けていません"},
        {"printer or class does not exist", "プリンタが見つかりません"},
        {"unknown destination", "プリンタが見つかりません"},
        {"no default destination", "プリンタが見つかりません"},
    };
    const std::string lower = Lower(answer);
    for (const Cause& cause : kCauses)
        if (lower.find(cause.key) != std::string::npos)
            return cause.text;
    return Trimmed(answer);
}
