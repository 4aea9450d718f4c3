#include "draw/join_path.h"

#include "textfile/cp932.h"

#include <cstddef>
#include <utility>

namespace {

constexpr std::size_t kWindowsBudget = 260;  // MAX_PATH without its terminating zero
constexpr std::size_t kPosixBudget = 4096;  // PATH_MAX

bool IsAsciiLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Letters, digits, punctuation, blanks and spaces as the "C" locale classifies them,
// spelled out so that the process locale cannot widen the set.
bool IsPlainByte(unsigned char c)
{
    return (c >= 0x20 && c <= 0x7E) || (c >= 0x09 && c <= 0x0D);
}

bool IsHalfWidthKana(unsigned char c)
{
    return c >= 0xA1 && c <= 0xDF;
}

}  // namespace

std::size_t PathBudget(PathRules rules)
{
    return rules == PathRules::Windows ? kWindowsBudget : kPosixBudget;
}

namespace {

class WindowsJoiner {
public:
    // False when the part is rejected; m_nComponent then holds the part's last counter.
    bool AddPart(const std::string& part)
    {
        m_nComponent = 0;
        const std::size_t size = part.size();
        for (std::size_t i = 0; i < size; ++i) {
            const auto c = static_cast<unsigned char>(part[i]);
            if (IsCp932LeadByte(c)) {
                // The trail byte may be any value, 0x5C among them: it is never a separator.
                if (i + 1 >= size || !Spend(2)) {
                    return false;
                }
                m_result.push_back(part[i]);
                m_result.push_back(part[i + 1]);
                m_nComponent += 2;
                ++i;
                continue;
            }
            switch (c) {
            case '"':
            case ',':
            case '/':
            case ';':
            case '<':
            case '>':
            case '|':
                return false;
            case ':':
                if (m_result.size() != 1 || !IsAsciiLetter(static_cast<unsigned char>(m_result[0]))) {
                    return false;
                }
                m_nComponent = 0;
                break;
            case '\\':
                // Two leading backslashes name a network share; any other doubled one is refused.
                if (m_nComponent == 0 && !m_result.empty() && m_result.size() != 1 && m_result.back() == '\\') {
                    return false;
                }
                m_nComponent = 0;
                break;
            default:
                if (!IsPlainByte(c) && !IsHalfWidthKana(c)) {
                    return false;
                }
                ++m_nComponent;
                break;
            }
            if (!Spend(1)) {
                return false;
            }
            m_result.push_back(part[i]);
        }
        return true;
    }

    bool AddSeparator()
    {
        if (m_nComponent > 0) {
            if (!Spend(1)) {
                return false;
            }
            m_result.push_back('\\');
        }
        return true;
    }

    std::string m_result;

private:
    bool Spend(std::size_t units)
    {
        if (m_nBudget < units) {
            return false;
        }
        m_nBudget -= units;
        return true;
    }

    std::size_t m_nBudget = kWindowsBudget;
    std::size_t m_nComponent = 0;
};

std::string JoinWindows(const std::string& folder, const std::string& name)
{
    WindowsJoiner joiner;
    if (!joiner.AddPart(folder) || !joiner.AddSeparator() || !joiner.AddPart(name)) {
        return {};
    }
    return std::move(joiner.m_result);
}

std::string JoinPosix(const std::string& folder, const std::string& name)
{
    if (name.find('/') != std::string::npos) {
        return {};
    }
    std::string result;
    result.reserve(folder.size() + 1 + name.size());
    result = folder;
    if (!folder.empty() && folder.back() != '/') {
        result.push_back('/');
    }
    result += name;
    // The name holds no separator, so no doubled one comes from it; a folder is taken
    // as the system takes it ("dir//sub", "//tmp/x" are the folders they name).
    if (result.size() > kPosixBudget || result.find('\0') != std::string::npos) {
        return {};
    }
    return result;
}

}  // namespace

PathRules NativePathRules()
{
#if defined(_WIN32)
    return PathRules::Windows;
#else
    return PathRules::Posix;
#endif
}

std::string JoinPath(const std::string& folder, const std::string& name, PathRules rules)
{
    return rules == PathRules::Windows ? JoinWindows(folder, name) : JoinPosix(folder, name);
}
