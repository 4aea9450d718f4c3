#include "filelist/list_layout.h"

#include <gtest/gtest.h>

TEST(ListLayoutTest, VisibleRowsForHeights)
{
    struct Case {
        int cy;
        int rows;
    };
    // (cy - 102) / 20, never negative.
    for (const Case c : {Case{300, 9}, Case{301, 9}, Case{302, 10}, Case{122, 1}, Case{121, 0}, Case{102, 0},
                         Case{83, 0}, Case{50, 0}, Case{0, 0}, Case{-40, 0}})
        EXPECT_EQ(VisibleRowsForHeight(c.cy), c.rows) << "cy " << c.cy;
}

TEST(ListLayoutTest, RectanglesWithoutScrollBar)
{
    ListGeometry g;
    g.cxClient = 575;
    g.nVisibleRows = 9;
    EXPECT_EQ(g.Right(), 565);
    EXPECT_EQ(g.InfoLineHeight(), 19);
    EXPECT_EQ(g.ListRect(), (PixelRect{10, 92, 565, 272}));
    EXPECT_EQ(g.TotalRect(), (PixelRect{10, 49, 565, 68}));
    EXPECT_EQ(g.HeadingRect(), (PixelRect{10, 72, 565, 92}));
    EXPECT_EQ(g.FolderRect(), (PixelRect{90, 30, 565, 49}));
    EXPECT_EQ(g.NoticeRect(), (PixelRect{0, 3, 575, 26}));
    EXPECT_EQ(g.RowRect(0), (PixelRect{10, 92, 565, 112}));
    EXPECT_EQ(g.RowRect(8), (PixelRect{10, 252, 565, 272}));
    EXPECT_EQ(g.SunkenFrameRect(), (PixelRect{10, 72, 565, 272}));
    // Column edges counted from the right edge; the name takes the rest.
    EXPECT_EQ(g.NameLeft(), 55);
    EXPECT_EQ(g.SizeLeft(), 565 - 270);
    EXPECT_EQ(g.PagesLeft(), 565 - 145);
    EXPECT_EQ(g.PrintedLeft(), 565 - 60);
}

TEST(ListLayoutTest, ScrollBarNarrowsTheTableButNotTheFrame)
{
    ListGeometry g;
    g.cxClient = 575;
    g.cxScrollShown = 17;
    g.nVisibleRows = 9;
    EXPECT_EQ(g.Right(), 548);
    EXPECT_EQ(g.ListRect().right, 548);
    EXPECT_EQ(g.TotalRect().right, 565);
    EXPECT_EQ(g.SunkenFrameRect().right, 565);
    EXPECT_EQ(g.ScrollBarRect(17), (PixelRect{548, 72, 565, 272}));
}

TEST(ListLayoutTest, RowAtCountsPastTheVisibleRows)
{
    ListGeometry g;
    g.cxClient = 575;
    g.nVisibleRows = 3;
    EXPECT_EQ(g.RowAt(91), -1);
    EXPECT_EQ(g.RowAt(92), 0);
    EXPECT_EQ(g.RowAt(111), 0);
    EXPECT_EQ(g.RowAt(112), 1);
    EXPECT_EQ(g.RowAt(200), 5);
    EXPECT_FALSE(g.ListRect().Contains(100, 152));  // bottom edge outside
    EXPECT_TRUE(g.ListRect().Contains(10, 92));  // top-left inside
    EXPECT_FALSE(g.ListRect().Contains(565, 100));  // right edge outside
}
