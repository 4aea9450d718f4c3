#include "textfile/error_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>
#include <system_error>

namespace {

const char* OwnReasonText(int value)
{
    switch (static_cast<IoReason>(value)) {
    case IoReason::NotRegularFile:
        return "通常のファイルではありません";
    case IoReason::ForeignLink:
        return "共有フォルダにある他のユーザーのリンクです";
    case IoReason::ForeignFile:
        return "共有フォルダにある他のユーザーのファイルです";
    case IoReason::FolderInput:
        return "ファイルではなくフォルダです";
    }
    return "不明な理由です";
}

class CIoReasonCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "vantrel"; }
    std::string message(int value) const override { return OwnReasonText(value); }
};

const CIoReasonCategory kIoReasons;

}  // namespace

std::error_code make_error_code(IoReason reason)
{
    return {static_cast<int>(reason), kIoReasons};
}

std::error_code SystemError(int err)
{
    return {err != 0 ? err : EIO, std::generic_category()};
}

std::string SystemErrorText(std::error_code err)
{
    if (err.category() == kIoReasons)
        return OwnReasonText(err.value());
    // The system's errno, or what the system's own code stands for.
    const std::error_condition condition = err.default_error_condition();
    switch (condition.category() == std::generic_category() ? condition.value() : 0) {
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
    default:
        return err.message();
    }
}

std::string CommandLineErrorText(std::error_code err)
{
    if (err.category() != kIoReasons)
        return err.message();
    switch (static_cast<IoReason>(err.value())) {
    case IoReason::NotRegularFile:
        return SystemErrorText(err) + " (not a regular file)";
    case IoReason::ForeignLink:
        return SystemErrorText(err) + " (a link another user owns in a folder others may write)";
    case IoReason::ForeignFile:
        return SystemErrorText(err) + " (a file another user owns in a folder others may write)";
    case IoReason::FolderInput:
        return SystemErrorText(err) + " (a folder, not a file)";
    }
    return err.message();
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
