#include <QScrollBar>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/HorzScrollBar.h"
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

TEST(HorzScrollBar, userActionsArriveAsScrollCodes)
{
    QWidget owner;
    owner.resize(300, 100);
    HorzScrollBar bar(&owner);
    bar.Layout();
    bar.State().SetInfo(0, 1000, 100, 0);
    bar.Sync();
    std::vector<int> codes;
    bar.OnRequest = [&](int code) {
        codes.push_back(code);
        if (code == SB_LINERIGHT)
            bar.State().SetPos(bar.State().nPos + 10);
    };
    bar.Bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar.Bar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    bar.Bar()->triggerAction(QAbstractSlider::SliderToMaximum);
    bar.Bar()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(codes, (std::vector<int>{SB_LINERIGHT, SB_PAGELEFT, SB_RIGHT, SB_LEFT}));
    // The owner's decision wins over the slider's own step.
    EXPECT_EQ(bar.State().nPos, 10);
    EXPECT_EQ(bar.Bar()->value(), 10);
    EXPECT_EQ(bar.Bar()->maximum(), 901);
}

TEST(HorzScrollBar, thumbRequestsCarryTheTrackPosition)
{
    QWidget owner;
    HorzScrollBar bar(&owner);
    bar.State().SetInfo(0, 1000, 100, 0);
    int seen = -1;
    bar.OnRequest = [&](int code) {
        if (code == SB_THUMBTRACK)
            seen = bar.State().nTrackPos;
    };
    bar.Request(SB_THUMBTRACK, 321);
    EXPECT_EQ(seen, 321);
}

} // namespace kx
