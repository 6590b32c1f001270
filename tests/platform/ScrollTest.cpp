#include <gtest/gtest.h>

#include "platform/ScrollState.h"

namespace kx {

TEST(ScrollState, positionStaysWithinRangeLessPage)
{
    ScrollState s;
    s.SetInfo(0, 1000, 300, 0);
    EXPECT_EQ(s.MaxPos(), 701);
    s.SetPos(5000);
    EXPECT_EQ(s.nPos, 701);
    EXPECT_EQ(s.SetPos(-3), 701);
    EXPECT_EQ(s.nPos, 0);
}

TEST(ScrollState, pageIsCutToTheRange)
{
    ScrollState s;
    s.SetInfo(0, 10, 500, 7);
    EXPECT_EQ(s.nPage, 11u);
    EXPECT_EQ(s.nPos, 0);
    EXPECT_TRUE(s.Disabled());
    s.SetInfo(0, 0, 0, 0);
    EXPECT_EQ(s.nPage, 0u);
    EXPECT_EQ(s.MaxPos(), 0);
}

} // namespace kx
