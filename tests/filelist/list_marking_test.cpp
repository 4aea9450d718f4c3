#include "filelist/list_marking.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<FileEntry> Entries(int count)
{
    std::vector<FileEntry> files(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::string& name = files[static_cast<size_t>(i)].strName;
        name.assign(1, 'f');
        name += std::to_string(i);
    }
    return files;
}

// The marks as a string of 0/1, one per entry.
std::string Marks(const std::vector<FileEntry>& files)
{
    std::string s;
    for (const FileEntry& e : files)
        s += e.nMark == 1 ? '1' : '0';
    return s;
}

void SetMarks(std::vector<FileEntry>& files, const std::string& marks)
{
    for (size_t i = 0; i < files.size(); ++i)
        files[i].nMark = marks[i] == '1' ? 1 : 0;
}

}  // namespace

TEST(ListMarkingTest, ClickRules)
{
    struct Case {
        const char* what;
        const char* before;
        int top;
        int row;
        unsigned flags;
        const char* after;
        bool repaint;
    };
    const Case cases[] = {
        {"plain marks one alone", "10010000", 0, 2, 0, "00100000", true},
        {"plain respects top row", "00000000", 3, 1, 0, "00001000", true},
        {"plain below last clears", "11000000", 5, 4, 0, "00000000", true},
        {"shift from one mark", "01000000", 0, 4, MK_SHIFT, "01111000", true},
        {"shift upwards", "00000100", 0, 2, MK_SHIFT, "00111100", true},
        {"shift with several marks marks one", "01111000", 1, 4, MK_SHIFT, "00000100", true},
        {"shift with none marks one", "00000000", 0, 3, MK_SHIFT, "00010000", true},
        {"shift below last clears", "01000000", 5, 4, MK_SHIFT, "00000000", true},
        {"ctrl toggles on", "01000000", 0, 3, MK_CONTROL, "01010000", true},
        {"ctrl toggles off", "01010000", 0, 1, MK_CONTROL, "00010000", true},
        {"ctrl below last: nothing", "01010000", 5, 4, MK_CONTROL, "01010000", false},
        {"ctrl wins over shift", "01000000", 0, 4, MK_CONTROL | MK_SHIFT, "01001000", true},
    };
    for (const Case& c : cases) {
        auto files = Entries(8);
        SetMarks(files, c.before);
        EXPECT_EQ(ApplyClick(files, c.top, 5, c.row, c.flags), c.repaint) << c.what;
        EXPECT_EQ(Marks(files), c.after) << c.what;
    }
}

// A click on an empty list returns at once, whatever its keys: nothing to repaint.
TEST(ListMarkingTest, ClickOnAnEmptyListChangesNothing)
{
    for (const unsigned flags : {0u, unsigned{MK_SHIFT}, unsigned{MK_CONTROL}}) {
        std::vector<FileEntry> files;
        EXPECT_FALSE(ApplyClick(files, 0, 9, 0, flags)) << flags;
        EXPECT_TRUE(files.empty());
    }
}

TEST(ListMarkingTest, ClickLeavesOtherFieldsAlone)
{
    auto files = Entries(3);
    files[1].nPrinted = 1;
    files[1].nPages = 7;
    ApplyClick(files, 0, 9, 1, 0);
    EXPECT_EQ(files[1].nMark, 1);
    EXPECT_EQ(files[1].nPrinted, 1);
    EXPECT_EQ(files[1].nPages, 7);
}

TEST(ListMarkingTest, PageDownWalksToTheLastFullPage)
{
    auto files = Entries(25);
    int top = 0;
    std::vector<int> tops;
    for (int i = 0; i < 3; ++i) {
        const KeyOutcome out = ApplyKey(files, top, 9, VK_NEXT);
        EXPECT_TRUE(out.repaint);
        EXPECT_TRUE(out.updateScrollBar);
        top = ClampTopRow(top, 25, 9);
        tops.push_back(top);
    }
    EXPECT_EQ(tops, (std::vector<int>{9, 16, 16}));
    ApplyKey(files, top, 9, VK_PRIOR);
    EXPECT_EQ(ClampTopRow(top, 25, 9), 7);
    ApplyKey(files, top, 9, VK_PRIOR);
    EXPECT_EQ(ClampTopRow(top, 25, 9), 0);
}

TEST(ListMarkingTest, PageDownWithFewEntriesStaysAtTop)
{
    auto files = Entries(4);
    int top = 0;
    ApplyKey(files, top, 9, VK_NEXT);
    EXPECT_EQ(ClampTopRow(top, 4, 9), 0);
}

TEST(ListMarkingTest, ArrowKeysMoveTheSingleMark)
{
    struct Case {
        const char* what;
        const char* before;
        int top;
        unsigned vk;
        const char* after;
        int topAfter;
        bool repaint;
        bool scroll;
    };
    // 6 entries, 3 visible rows.
    const Case cases[] = {
        {"down inside the page", "100000", 0, VK_DOWN, "010000", 0, true, false},
        {"down past the page scrolls", "001000", 0, VK_DOWN, "000100", 1, true, true},
        {"down at the last entry", "000001", 3, VK_DOWN, "000001", 3, true, false},
        {"up inside the page", "000100", 2, VK_UP, "001000", 2, true, false},
        {"up above the page scrolls", "001000", 2, VK_UP, "010000", 1, true, true},
        {"up at the first entry", "100000", 0, VK_UP, "100000", 0, true, false},
        {"several marks: down nothing", "110000", 0, VK_DOWN, "110000", 0, false, false},
        {"no mark: up nothing", "000000", 0, VK_UP, "000000", 0, false, false},
        {"other keys nothing", "010000", 0, 0x24 /* Home */, "010000", 0, false, false},
    };
    for (const Case& c : cases) {
        auto files = Entries(6);
        SetMarks(files, c.before);
        int top = c.top;
        const KeyOutcome out = ApplyKey(files, top, 3, c.vk);
        EXPECT_EQ(Marks(files), c.after) << c.what;
        EXPECT_EQ(top, c.topAfter) << c.what;
        EXPECT_EQ(out.repaint, c.repaint) << c.what;
        EXPECT_EQ(out.updateScrollBar, c.scroll) << c.what;
        EXPECT_FALSE(out.cancelPrint) << c.what;
    }
}

TEST(ListMarkingTest, EscapeCancelsOnlyWithOneMark)
{
    for (const char* marks : {"0000", "0100", "0110", "1111"}) {
        auto files = Entries(4);
        SetMarks(files, marks);
        int top = 0;
        const KeyOutcome out = ApplyKey(files, top, 9, VK_ESCAPE);
        EXPECT_EQ(out.cancelPrint, std::string(marks) == "0100") << marks;
        EXPECT_FALSE(out.repaint) << marks;
        EXPECT_EQ(Marks(files), marks);
    }
}

TEST(ListMarkingTest, ScrollCodesAndClamp)
{
    EXPECT_EQ(ScrollTarget(5, SB_LINEUP, 0, 9), 4);
    EXPECT_EQ(ScrollTarget(5, SB_LINEDOWN, 0, 9), 6);
    EXPECT_EQ(ScrollTarget(5, SB_PAGEUP, 0, 9), -4);
    EXPECT_EQ(ScrollTarget(5, SB_PAGEDOWN, 0, 9), 14);
    EXPECT_EQ(ScrollTarget(5, SB_THUMBTRACK, 12, 9), 12);
    EXPECT_EQ(ScrollTarget(5, SB_THUMBPOSITION, 2, 9), 2);
    for (int code : {SB_TOP, SB_BOTTOM, SB_ENDSCROLL})
        EXPECT_EQ(ScrollTarget(5, code, 12, 9), 5);

    EXPECT_EQ(ClampTopRow(-3, 25, 9), 0);
    EXPECT_EQ(ClampTopRow(20, 25, 9), 16);
    EXPECT_EQ(ClampTopRow(20, 25, 0), 20);
    EXPECT_EQ(ClampTopRow(30, 25, 0), 24);
    EXPECT_EQ(ClampTopRow(3, 0, 9), 0);
    EXPECT_EQ(ClampTopRow(3, 0, 0), 0);
    EXPECT_EQ(ClampTopRow(3, 5, 9), 0);
}
