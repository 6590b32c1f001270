#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "viewers/KXPeakEffectViewer.h"

using namespace PeakTestData;

namespace {

void ExpectMessage(const std::function<void()>& f, const char* message)
{
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QString::fromLatin1(message));
    }
}

TEST(TEffectPoints, limitsIgnoreWhatCannotBeARangeAndRejectBeyond32767)
{
    int changes = 0;
    TEffectPoints p([&] { ++changes; });
    EXPECT_EQ(p.ColorA(), 255);
    EXPECT_EQ(p.ColorB(), 65535);
    EXPECT_EQ(p.ColorC(), 16711935);
    EXPECT_EQ(p.MaxA(), 32767);
    EXPECT_EQ(p.MinC(), -32767);
    EXPECT_EQ(p.Focused(), fcA);

    ExpectMessage([&] { p.SetMaxA(40000); }, "Value must be between -32767 and 32767");
    ExpectMessage([&] { p.SetMinA(-40000); }, "Value must be between -32767 and 32767");
    p.SetMaxA(-40000);  // not above Min: ignored before the range test
    EXPECT_EQ(p.MaxA(), 32767);
    p.SetMinB(32767);  // not below Max
    EXPECT_EQ(p.MinB(), -32767);
    p.SetMaxB(100);
    p.SetMinB(-100);
    EXPECT_EQ(p.MaxB(), 100);
    EXPECT_EQ(p.MinB(), -100);
    p.SetMinB(100);
    EXPECT_EQ(p.MinB(), -100);

    p.SetColorA(255);
    EXPECT_EQ(changes, 0);
    p.SetColorC(clTeal);
    EXPECT_EQ(changes, 1);
}

class EffectPointListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Prepare(v, 400, 200);
        v.OnPaint = [this](QObject* s, TCanvas& c) {
            ++paints;
            v.DrawPoints(s, c);
        };
        // 4 s at 100 peaks a second: PointRange 400.
        const auto bytes = Stereo16(8000, 80, 4, Constant(40000, 30000));
        TMemoryStream stream;
        stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        ASSERT_TRUE(v.LoadFromStream(&stream));
        ASSERT_EQ(v.PointRange(), 400);
    }

    std::vector<int> Positions(TEffectType t) const
    {
        std::vector<int> out;
        if (const auto* list = v.PointListOf(t))
            for (const auto& p : *list)
                out.push_back(p.Position);
        return out;
    }

    TKXPeakEffectViewer v;
    int paints = 0;
};

TEST_F(EffectPointListTest, initPointsGivesEveryTypeAFlatLineAndAsksForEachPoint)
{
    std::vector<std::pair<TEffectType, int>> asked;
    v.OnPointNew = [&](QObject* sender, TEffectType t, TEffectChannel ch, int, int value, int index, bool&) {
        EXPECT_EQ(sender, &v);
        EXPECT_EQ(ch, ecBoth);
        EXPECT_EQ(value, 0);
        asked.emplace_back(t, index);
    };
    const int painted = paints;
    EXPECT_TRUE(v.InitPoints());
    EXPECT_EQ(paints, painted + 1);
    const std::vector<std::pair<TEffectType, int>> expected = {{fcA, 0}, {fcA, 1}, {fcB, 0},
                                                               {fcB, 1}, {fcC, 0}, {fcC, 1}};
    EXPECT_EQ(asked, expected);
    for (TEffectType t : {fcA, fcB, fcC})
        EXPECT_EQ(Positions(t), (std::vector<int>{0, 400}));
    // Types that have points stop a second call.
    EXPECT_FALSE(v.InitPoints());
}

TEST_F(EffectPointListTest, stereoEffectsLeavesTypeCWithoutAList)
{
    v.SetStereoEffects(true);
    const int painted = paints;
    EXPECT_FALSE(v.InitPoints());
    EXPECT_EQ(paints, painted);
    EXPECT_EQ(Positions(fcA).size(), 2u);
    EXPECT_EQ(Positions(fcB).size(), 2u);
    EXPECT_EQ(v.PointListOf(fcC), nullptr);
    int index = 5;
    EXPECT_FALSE(v.AddPoint(fcC, ecBoth, index, 0, 10));
    EXPECT_EQ(index, -1);

    v.SetStereoEffects(true);  // equal value: no error even with points
    try {
        v.SetStereoEffects(false);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Cannot change stereo effects when points are populated"));
    }
    EXPECT_TRUE(v.StereoEffects());
    v.ClearAllPoints();
    v.SetStereoEffects(false);
    EXPECT_FALSE(v.StereoEffects());
}

TEST_F(EffectPointListTest, refusedFirstPointLeavesTheTypeEmpty)
{
    v.OnPointNew = [](QObject*, TEffectType t, TEffectChannel, int, int, int, bool& allow) {
        if (t == fcB)
            allow = false;
    };
    EXPECT_FALSE(v.InitPoints());
    EXPECT_EQ(Positions(fcA).size(), 2u);
    EXPECT_TRUE(Positions(fcB).empty());
    EXPECT_TRUE(Positions(fcC).empty());
}

TEST_F(EffectPointListTest, addPointKeepsTheListOrderedAndRefusesBadPoints)
{
    int index = 0;
    EXPECT_TRUE(v.AddPoint(fcA, ecBoth, index, 10, 200));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(v.AddPoint(fcA, ecLeft, index, 20, 100));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(v.AddPoint(fcA, ecRight, index, 30, 300));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(Positions(fcA), (std::vector<int>{100, 200, 300}));

    EXPECT_FALSE(v.AddPoint(fcA, ecBoth, index, 0, 200));
    EXPECT_EQ(index, -1);
    EXPECT_FALSE(v.AddPoint(fcA, ecBoth, index, 0, 401));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(v.AddPoint(fcA, ecBoth, index, 0, -1));
    EXPECT_FALSE(v.AddPoint(fcA, ecBoth, index, 32768, 150));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(Positions(fcA).size(), 3u);

    TEffectPointRec p;
    v.GetPoint(fcA, 2, p);
    EXPECT_EQ(p, (TEffectPointRec{300, 30, ecRight}));
    v.GetPoint(fcA, -1, p);
    EXPECT_EQ(p, TEffectPointRec{});
    v.GetPoint(fcB, 0, p);
    EXPECT_EQ(p, TEffectPointRec{});
}

TEST_F(EffectPointListTest, deletePointChecksIndexChannelAndHandler)
{
    int index = 0;
    v.AddPoint(fcB, ecLeft, index, 5, 10);
    v.AddPoint(fcB, ecRight, index, 6, 20);
    bool allow = false;
    int asked = 0;
    v.OnPointDelete = [&](QObject*, TEffectType t, TEffectChannel ch, int pos, int value, int i, bool& a) {
        ++asked;
        EXPECT_EQ(t, fcB);
        EXPECT_EQ(ch, ecRight);
        EXPECT_EQ(pos, 20);
        EXPECT_EQ(value, 6);
        EXPECT_EQ(i, 1);
        a = allow;
    };
    EXPECT_FALSE(v.DeletePoint(fcB, ecLeft, 1));  // wrong channel
    EXPECT_FALSE(v.DeletePoint(fcB, ecRight, 2));
    EXPECT_FALSE(v.DeletePoint(fcB, ecRight, -1));
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(v.DeletePoint(fcB, ecRight, 1));
    EXPECT_EQ(asked, 1);
    allow = true;
    EXPECT_TRUE(v.DeletePoint(fcB, ecRight, 1));
    EXPECT_EQ(Positions(fcB), (std::vector<int>{10}));
}

TEST_F(EffectPointListTest, clearForgetsPeaksNameAndPoints)
{
    ASSERT_TRUE(v.InitPoints());
    v.Clear();
    EXPECT_EQ(v.PcmByteCount(), 0);
    EXPECT_TRUE(v.PeaksFileName().isEmpty());
    EXPECT_TRUE(Positions(fcA).empty());
    EXPECT_EQ(v.PointRange(), 0);
    // Both default points would sit at 0: the second is refused.
    EXPECT_FALSE(v.InitPoints());
    EXPECT_EQ(Positions(fcA), (std::vector<int>{0}));
}

TEST_F(EffectPointListTest, showingATypeGivesItItsDefaultLine)
{
    v.SetVisiblePoints({fcB});
    EXPECT_TRUE(Positions(fcA).empty());
    EXPECT_EQ(Positions(fcB), (std::vector<int>{0, 400}));
    v.SetDesigning(true);
    v.SetVisiblePoints({fcB, fcC});
    EXPECT_TRUE(Positions(fcC).empty());
}

TEST_F(EffectPointListTest, valueScaleFollowsTheFocusedTypeAndChannelBand)
{
    // Client height 200: both 0..199, left 0..99, right 99..199.
    EXPECT_EQ(v.YAtValue(32767, ecBoth), 0);
    EXPECT_EQ(v.YAtValue(-32767, ecBoth), 199);
    EXPECT_EQ(v.YAtValue(32767, ecRight), 99);
    EXPECT_EQ(v.YAtValue(-32767, ecLeft), 99);
    EXPECT_EQ(v.ValueAtY(0, ecLeft), 32767);
    EXPECT_EQ(v.ValueAtY(199, ecRight), -32767);
    EXPECT_EQ(v.ValueAtY(99, ecBoth), 32767 - (65534 * 99) / 199);
    // Outside the band the value leaves the range.
    EXPECT_GT(v.ValueAtY(-10, ecBoth), 32767);
    v.EffectPoints().SetMaxB(100);
    v.EffectPoints().SetMinB(0);
    v.SetFocusedType(fcB);
    EXPECT_EQ(v.YAtValue(50, ecBoth), 199 - 199 * 50 / 100);
    EXPECT_EQ(v.ValueAtY(0, ecBoth), 100);
}

} // namespace
