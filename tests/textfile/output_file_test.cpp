#include "textfile/output_file.h"

#include "filelist/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes text through a COutputFile at path; 0 or the errno of the step that failed.
int WriteOutput(const std::string& path, const std::string& text)
{
    COutputFile out;
    if (const int err = out.Begin(path); err != 0) return err;
    if (::write(out.Fd(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) return errno;
    return out.Commit();
}

unsigned Mode(const std::filesystem::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::size_t Entries(const std::filesystem::path& folder)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

class Umask {
public:
    explicit Umask(mode_t mask) : m_old(::umask(mask)) {}
    ~Umask() { ::umask(m_old); }

private:
    mode_t m_old;
};

}  // namespace

// What may be replaced, and what the result looks like.
TEST(OutputFile, ReplacesOnlyRegularFilesTheUserMayWrite)
{
    TempFolder tmp("output_rules");
    const auto& dir = tmp.Path();
    Umask mask(027);
    std::ofstream(dir / "mine.pdf") << "old";
    ::chmod((dir / "mine.pdf").c_str(), 0604);
    std::ofstream(dir / "target.pdf") << "old target";
    std::filesystem::create_symlink("target.pdf", dir / "link.pdf");
    std::filesystem::create_symlink("nowhere.pdf", dir / "dangling.pdf");
    std::ofstream(dir / "readonly.pdf") << "keep";
    ::chmod((dir / "readonly.pdf").c_str(), 0444);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder");

    const struct {
        const char* name;
        int error;
    } cases[] = {
        {"new.pdf", 0}, {"mine.pdf", 0}, {"link.pdf", 0}, {"dangling.pdf", ENOENT}, {"readonly.pdf", EACCES},
        {"fifo", EINVAL}, {"folder", EISDIR}, {"no/such/folder.pdf", ENOENT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WriteOutput((dir / c.name).string(), c.name), c.error) << c.name;
    // A socket stands for every other special file. (Never a system device: a fault here
    // would replace it for the whole machine.)
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = (dir / "socket").string();
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(WriteOutput(sockPath, "x"), EINVAL);
    ::close(sock);
    EXPECT_TRUE(std::filesystem::is_socket(sockPath));

    EXPECT_EQ(Contents(dir / "new.pdf"), "new.pdf");
    EXPECT_EQ(Mode(dir / "new.pdf"), 0640u);  // as the umask gives
    EXPECT_EQ(Contents(dir / "mine.pdf"), "mine.pdf");
    EXPECT_EQ(Mode(dir / "mine.pdf"), 0604u);  // a replaced file keeps its mode
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.pdf"));  // the link stays
    EXPECT_EQ(Contents(dir / "target.pdf"), "link.pdf");
    EXPECT_FALSE(std::filesystem::exists(dir / "nowhere.pdf"));
    EXPECT_EQ(Contents(dir / "readonly.pdf"), "keep");
    // Nothing else: no temporary file left by any of them.
    EXPECT_EQ(Entries(dir), 9u);
}

// A name near the system's limit still leaves room for the temporary name beside it.
TEST(OutputFile, LongNameAndAbandonedOutput)
{
    TempFolder tmp("output_long");
    const std::string name = std::string(246, 'n') + ".pdf";  // 250 bytes
    EXPECT_EQ(WriteOutput((tmp.Path() / name).string(), "long"), 0);
    EXPECT_EQ(Contents(tmp.Path() / name), "long");

    std::ofstream(tmp.Path() / "kept.pdf") << "earlier";
    {
        COutputFile out;
        ASSERT_EQ(out.Begin((tmp.Path() / "kept.pdf").string()), 0);
        ASSERT_EQ(::write(out.Fd(), "half", 4), 4);
        EXPECT_EQ(Entries(tmp.Path()), 3u);
    }  // never committed: as if the writer failed half-way
    EXPECT_EQ(Contents(tmp.Path() / "kept.pdf"), "earlier");
    EXPECT_EQ(Entries(tmp.Path()), 2u);
}

TEST(OutputFile, PdfCompleteOnlyWithItsTrailer)
{
    TempFolder tmp("output_pdf");
    const struct {
        std::string text;
        bool complete;
    } cases[] = {
        {"", false},
        {"%PDF-1.4\n1 0 obj\n", false},
        {"%PDF-1.4\n" + std::string(5000, 'x') + "\nstartxref\n123\n%%EOF\n", true},
        {"%PDF-1.4\n%%EOF\n" + std::string(5000, 'x'), false},  // the trailer must close the file
    };
    for (const auto& c : cases) {
        std::ofstream(tmp.Path() / "t.pdf", std::ios::binary | std::ios::trunc) << c.text;
        EXPECT_EQ(PdfComplete((tmp.Path() / "t.pdf").string()), c.complete) << c.text.substr(0, 20);
    }
    EXPECT_FALSE(PdfComplete((tmp.Path() / "missing.pdf").string()));
}
