#include "printing/print_jobs.h"

#include "filelist/csv_export.h"
#include "printing/dump_test_util.h"
#include "common/system_files.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

#if defined(_WIN32)
const std::string kData = "C:\\data";
#else
const std::string kData = "/data";
#endif

TEST(PrintJobs, MarkedFilesInListOrderWithTheirSizesAndPages)
{
    CFileListModel model;
    model.m_strFolder = kData;
    model.AddFileEntry("c.bin", 6000);
    model.AddFileEntry("a.bin", 0);
    model.AddFileEntry("b.bin", 10);
    model.m_aFiles[0].nMark = 1;  // a.bin
    model.m_aFiles[1].nMark = 2;  // only exactly 1 marks
    model.m_aFiles[2].nMark = 1;  // c.bin

    const std::vector<PrintJobFile> jobs = MarkedJobFiles(model);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].strName, "a.bin");
    EXPECT_EQ(jobs[0].strPath, sysfiles::Join(kData, "a.bin"));
    EXPECT_EQ(jobs[0].nPages, 1);
    EXPECT_EQ(jobs[1].strFolder, kData);
    EXPECT_EQ(jobs[1].lSize, 6000);
    EXPECT_EQ(jobs[1].nPages, 3);

    // The jobs keep what they were given when the list changes afterwards.
    model.m_strFolder = "/other";
    model.m_aFiles.clear();
    EXPECT_EQ(jobs[1].strPath, sysfiles::Join(kData, "c.bin"));
}

TEST(PrintJobs, OutputFileOfEachJob)
{
    struct Case {
        const char* chosen;
        const char* name;
        std::size_t jobs;
        const char* expected;
    };
    const Case cases[] = {
        {"/out/out.pdf", "a.bin", 1, "/out/out.pdf"},
        {"/out/out.pdf", "a.bin", 3, "/out/out_a.bin.pdf"},
        {"/out/out.pdf", "b.log", 3, "/out/out_b.log.pdf"},
        {"/out/Out.PDF", "x", 2, "/out/Out_x.PDF"},
        {"/out/out", "a.bin", 2, "/out/out_a.bin.pdf"},
        {"/out.d/out", "a.bin", 2, "/out.d/out_a.bin.pdf"},  // a dot in the folder is no extension
        {"/out/.pdf", "a.bin", 2, "/out/.pdf_a.bin.pdf"},  // nor a leading dot
        {"out.tar.pdf", "a", 2, "out.tar_a.pdf"},
#if defined(_WIN32)
        // The 0x5C trail byte of 表 is no separator: ".d" is the name's extension.
        {"C:\\表.d", "n", 2, "C:\\表_n.d"},
        {"C:\\out\\表", "n", 2, "C:\\out\\表_n.pdf"},
#endif
    };
    for (const Case& c : cases)
        EXPECT_EQ(JobOutputFile(c.chosen, c.name, c.jobs), c.expected) << c.chosen << " " << c.name;
}

#if defined(_WIN32)

// Windows: a folder whose name ends in a 0x5C trail byte, holding names with such trail
// bytes, lists in code page 932 order, joins and dumps each file by its own path, and
// exports the names byte for byte.
TEST(PrintJobs, WindowsTrailByte5CNamesListJoinDumpAndExport)
{
    TempFolder dir;
    const std::string folder = dir / "表";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const struct {
        std::string name;
        std::string bytes;
    } files[] = {{"ソ", "so"}, {"a.bin", "a"}, {"表ソ.txt", "hyou-so"}, {"ｿ", "half-width"}};
    for (const auto& f : files)
        dumptest::WriteBytes(sysfiles::Join(folder, f.name), f.bytes);

    CFileListModel model;
    model.m_strFolder = folder;
    ASSERT_TRUE(model.ListFolder());
    std::vector<std::string> names;
    for (FileEntry& e : model.m_aFiles) {
        names.push_back(e.strName);
        e.nMark = 1;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.bin", "ｿ", "ソ", "表ソ.txt"}));

    for (const PrintJobFile& job : MarkedJobFiles(model)) {
        ASSERT_EQ(job.strPath, folder + "\\" + job.strName);
        CTextFileWriter out;
        ASSERT_TRUE(out.Open(dir / "WkFile.txt"));
        const DumpResult r = WriteDumpFile(job.strPath, out, 0);
        out.Close();
        ASSERT_EQ(r.status, DumpStatus::Done) << job.strName;
        std::string bytes;
        for (const auto& f : files)
            if (f.name == job.strName)
                bytes = f.bytes;
        EXPECT_EQ(r.length, static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(dumptest::ReadAll(dir / "WkFile.txt"), dumptest::ReferenceDump(job.strPath, bytes)) << job.strName;
    }

    const std::string csv = dir / "一覧表.csv";
    std::string error;
    ASSERT_TRUE(SaveListAsCsv(csv, model.m_strFolder, model.m_aFiles, &error)) << error;
    const std::string text = dumptest::ReadAll(csv);
    EXPECT_NE(text.find("\"\x83\x74\x83\x48\x83\x8B\x83\x5F\",\"" + folder + "\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"4\",\"\x95\x5C\x83\x5C.txt\",\"7\",\"1\"\r\n"), std::string::npos) << text;
}

#endif

}  // namespace
