#include "printing/work_file.h"

#include "printing/dump_test_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

// Sets XDG_RUNTIME_DIR for one test and puts the old value back.
class RuntimeDir {
public:
    explicit RuntimeDir(const char* value)
    {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
            m_old = old;
        }
        if (value != nullptr) {
            ::setenv("XDG_RUNTIME_DIR", value, 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
    ~RuntimeDir()
    {
        if (m_old) {
            ::setenv("XDG_RUNTIME_DIR", m_old->c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }

private:
    std::optional<std::string> m_old;
};

}  // namespace

TEST(WorkFile, PrivateFolderUnderTheRuntimeDir)
{
    dumptest::TempDir dir;
    RuntimeDir runtime(dir.Path().c_str());
    CWorkFile a;
    CWorkFile b;
    const std::string path = a.Path();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(fs::path(path).filename(), "WkFile.txt");
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(a.Folder()));
    EXPECT_EQ(fs::path(a.Folder()).parent_path(), dir.Path());
    EXPECT_EQ(fs::path(a.Folder()).filename().string().rfind("vantrel-", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(a.Folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(a.Path(), path);  // made once
    EXPECT_NE(b.Path(), path);  // never shared
}

TEST(WorkFile, FallsBackToTheTempFolder)
{
    for (const char* value : {"", "/no/such/runtime/dir"}) {
        RuntimeDir runtime(value);
        CWorkFile work;
        ASSERT_FALSE(work.Path().empty()) << value;
        EXPECT_EQ(fs::path(work.Folder()).parent_path(), fs::temp_directory_path()) << value;
    }
}

TEST(WorkFile, RemovedWithItsFolder)
{
    dumptest::TempDir dir;
    RuntimeDir runtime(dir.Path().c_str());
    std::string folder;
    {
        CWorkFile work;
        dumptest::WriteBytes(work.Path(), "dump");
        folder = work.Folder();
        work.Remove();
        EXPECT_FALSE(fs::exists(folder));
        EXPECT_TRUE(work.Folder().empty());
        dumptest::WriteBytes(work.Path(), "again");  // a new folder on next use
        folder = work.Folder();
        EXPECT_TRUE(fs::exists(work.Path()));
    }
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}
