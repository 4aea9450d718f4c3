#include "printing/print_jobs.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintJobs, MarkedFilesInListOrderWithTheirSizesAndPages)
{
    CFileListModel model;
    model.m_strFolder = "/data";
    model.AddFileEntry("c.bin", 6000);
    model.AddFileEntry("a.bin", 0);
    model.AddFileEntry("b.bin", 10);
    model.m_aFiles[0].nMark = 1;  // a.bin
    model.m_aFiles[1].nMark = 2;  // only exactly 1 marks
    model.m_aFiles[2].nMark = 1;  // c.bin

    const std::vector<PrintJobFile> jobs = MarkedJobFiles(model);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].strName, "a.bin");
    EXPECT_EQ(jobs[0].strPath, "/data/a.bin");
    EXPECT_EQ(jobs[0].nPages, 1);
    EXPECT_EQ(jobs[1].strFolder, "/data");
    EXPECT_EQ(jobs[1].lSize, 6000);
    EXPECT_EQ(jobs[1].nPages, 3);

    // The jobs keep what they were given when the list changes afterwards.
    model.m_strFolder = "/other";
    model.m_aFiles.clear();
    EXPECT_EQ(jobs[1].strPath, "/data/c.bin");
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
        {"/out/.pdf", "a.bin", 2, "/out/.pdf_a.bin.pdf"},    // nor a leading dot
        {"out.tar.pdf", "a", 2, "out.tar_a.pdf"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JobOutputFile(c.chosen, c.name, c.jobs), c.expected) << c.chosen << " " << c.name;
}

}  // namespace
