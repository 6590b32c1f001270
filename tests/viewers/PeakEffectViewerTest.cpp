#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/Exception.h"
#include "tests/support/TestHelpers.h"
#include "platform/MemoryStream.h"
#include "viewers/KXPeakEffectViewer.h"
#include "viewers/ViewerCursors.h"

namespace kx {

using namespace PeakTestData;

namespace {

void ExpectRaise(const std::function<void()>& f, const char* message)
{
    EXPECT_EQ(RaisedMessage(f), QString::fromLatin1(message));
}

TEST(TEffectPoints, limitsIgnoreWhatCannotBeARangeAndRejectBeyond32767)
{
    int changes = 0;
    TEffectPoints p([&] { ++changes; });
    EXPECT_EQ(p.ColorC(), 16711935);
    EXPECT_EQ(p.MinA(), -32767);
    ExpectRaise([&] { p.SetMaxA(40000); }, "Value must be between -32767 and 32767");
    ExpectRaise([&] { p.SetMinA(-40000); }, "Value must be between -32767 and 32767");
    p.SetMaxA(-40000);  // not above Min: ignored before the range test
    p.SetMinB(32767);   // not below Max
    EXPECT_EQ(p.MaxA(), 32767);
    EXPECT_EQ(p.MinB(), -32767);
    p.SetMaxB(100);
    p.SetMinB(100);
    EXPECT_EQ(p.MinB(), -32767);
    p.SetColorA(clRed);
    p.SetColorC(clTeal);
    EXPECT_EQ(changes, 1);
}

class EffectViewerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetScreenCursor(0);
        Prepare(v, 400, 200);
        // 4 s at 100 peaks a second: PointRange 400, the whole track in view.
        Load(Stereo16(8000, 80, 4, Constant(40000, 30000)));
        ASSERT_EQ(v.PointRange(), 400);
        mid = v.YAtValue(0, ecBoth);
        ASSERT_EQ(mid, 100);
    }
    void TearDown() override { SetScreenCursor(0); }

    void Load(const std::vector<uint8_t>& bytes)
    {
        TMemoryStream stream;
        stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        ASSERT_TRUE(v.LoadFromStream(&stream));
    }
    void Send(QEvent::Type type, int x, int y, Qt::MouseButton button)
    {
        const QPointF local(x, y);
        QMouseEvent e(type, local, v.mapToGlobal(local), button, held, Qt::NoModifier);
        QApplication::sendEvent(&v, &e);
    }
    void Move(int x, int y) { Send(QEvent::MouseMove, x, y, Qt::NoButton); }
    void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        held = button;
        Send(QEvent::MouseButtonPress, x, y, button);
    }
    void Release(int x, int y)
    {
        held = Qt::NoButton;
        Send(QEvent::MouseButtonRelease, x, y, Qt::LeftButton);
    }
    void Grab(int x, int y)
    {
        Move(x, y);
        Press(x, y);
    }
    const TKXPeakEffectViewer::PointList& List(TEffectType t = fcA) const { return *v.PointListOf(t); }
    std::vector<int> Positions(TEffectType t = fcA) const
    {
        std::vector<int> out;
        if (v.PointListOf(t))
            for (const auto& p : List(t))
                out.push_back(p.Position);
        return out;
    }
    QRgb Pixel(int x, int y) const { return v.BufferImage().pixel(x, y); }
    static QRgb Rgb(TColor c) { return ToQColor(c).rgb(); }

    TKXPeakEffectViewer v;
    Qt::MouseButtons held = Qt::NoButton;
    int mid = 0;
};

TEST_F(EffectViewerTest, initPointsGivesEveryTypeAFlatLineAndAsksForEachPoint)
{
    std::vector<std::pair<TEffectType, int>> asked;
    bool refuseB = false;
    v.OnPointNew = [&](QObject*, TEffectType t, TEffectChannel ch, int, int value, int index, bool& allow) {
        EXPECT_EQ(ch, ecBoth);
        EXPECT_EQ(value, 0);
        asked.emplace_back(t, index);
        allow = !(refuseB && t == fcB);
    };
    EXPECT_TRUE(v.InitPoints());
    EXPECT_EQ(asked, (std::vector<std::pair<TEffectType, int>>{{fcA, 0}, {fcA, 1}, {fcB, 0}, {fcB, 1},
                                                               {fcC, 0}, {fcC, 1}}));
    EXPECT_EQ(Positions(fcC), (std::vector<int>{0, 400}));
    EXPECT_FALSE(v.InitPoints());  // types with points stop it

    v.ClearAllPoints();
    refuseB = true;
    EXPECT_FALSE(v.InitPoints());
    EXPECT_EQ(Positions(fcA).size(), 2u);
    EXPECT_TRUE(Positions(fcB).empty());
    EXPECT_TRUE(Positions(fcC).empty());
}

TEST_F(EffectViewerTest, stereoEffectsTakesTypeCAwayAndLocksWhilePointsExist)
{
    v.SetStereoEffects(true);
    EXPECT_FALSE(v.InitPoints());
    EXPECT_EQ(Positions(fcB).size(), 2u);
    EXPECT_EQ(v.PointListOf(fcC), nullptr);
    int index = 5;
    EXPECT_FALSE(v.AddPoint(fcC, ecBoth, index, 0, 10));
    EXPECT_EQ(index, -1);
    v.SetStereoEffects(true);  // equal: never raises
    ExpectRaise([&] { v.SetStereoEffects(false); }, "Cannot change stereo effects when points are populated");
    v.ClearAllPoints();
    v.SetStereoEffects(false);
    EXPECT_FALSE(v.StereoEffects());
}

TEST_F(EffectViewerTest, addAndDeleteKeepTheListOrderedAndRefuseBadPoints)
{
    int index = 0;
    EXPECT_TRUE(v.AddPoint(fcA, ecBoth, index, 10, 200));
    EXPECT_TRUE(v.AddPoint(fcA, ecLeft, index, 20, 100));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(v.AddPoint(fcA, ecRight, index, 30, 300));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(v.AddPoint(fcA, ecBoth, index, 0, 200));
    EXPECT_EQ(index, -1);
    EXPECT_FALSE(v.AddPoint(fcA, ecBoth, index, 0, 401));
    EXPECT_FALSE(v.AddPoint(fcA, ecBoth, index, 32768, 150));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(Positions(), (std::vector<int>{100, 200, 300}));
    TEffectPointRec p;
    v.GetPoint(fcA, 2, p);
    EXPECT_EQ(p, (TEffectPointRec{300, 30, ecRight}));
    v.GetPoint(fcA, -1, p);
    EXPECT_EQ(p, TEffectPointRec{});

    bool allow = false;
    int asked = 0;
    v.OnPointDelete = [&](QObject*, TEffectType, TEffectChannel, int pos, int value, int i, bool& a) {
        ++asked;
        EXPECT_EQ(std::make_tuple(pos, value, i), std::make_tuple(300, 30, 2));
        a = allow;
    };
    EXPECT_FALSE(v.DeletePoint(fcA, ecLeft, 2));  // wrong channel
    EXPECT_FALSE(v.DeletePoint(fcA, ecRight, 3));
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(v.DeletePoint(fcA, ecRight, 2));
    allow = true;
    EXPECT_TRUE(v.DeletePoint(fcA, ecRight, 2));
    EXPECT_EQ(Positions(), (std::vector<int>{100, 200}));
}

TEST_F(EffectViewerTest, clearAndVisiblePointsManageTheDefaultLines)
{
    v.SetVisiblePoints({fcB});
    EXPECT_TRUE(Positions(fcA).empty());
    EXPECT_EQ(Positions(fcB), (std::vector<int>{0, 400}));
    v.Clear();
    EXPECT_EQ(v.PcmByteCount(), 0);
    EXPECT_TRUE(Positions(fcB).empty());
    // PointRange is 0 now: both default points would sit at 0.
    EXPECT_FALSE(v.InitPoints());
    EXPECT_EQ(Positions(fcA), (std::vector<int>{0}));
}

TEST_F(EffectViewerTest, valueScaleFollowsTheFocusedTypeAndChannelBand)
{
    EXPECT_EQ(v.YAtValue(32767, ecBoth), 0);
    EXPECT_EQ(v.YAtValue(-32767, ecBoth), 199);
    EXPECT_EQ(v.YAtValue(32767, ecRight), 99);
    EXPECT_EQ(v.YAtValue(-32767, ecLeft), 99);
    EXPECT_EQ(v.ValueAtY(99, ecBoth), 32767 - (65534 * 99) / 199);
    EXPECT_GT(v.ValueAtY(-10, ecBoth), 32767);  // not clamped
    v.EffectPoints().SetMaxB(100);
    v.EffectPoints().SetMinB(0);
    v.SetFocusedType(fcB);
    EXPECT_EQ(v.YAtValue(50, ecBoth), 199 - 199 * 50 / 100);
    EXPECT_EQ(v.ValueAtY(0, ecBoth), 100);
}

class EffectViewerMouseTest : public EffectViewerTest
{
protected:
    void SetUp() override
    {
        EffectViewerTest::SetUp();
        v.SetVisiblePoints({fcA, fcB, fcC});
    }
};

TEST_F(EffectViewerMouseTest, hoverTellsPointsLinesAndEmptySpace)
{
    Move(1, mid + 1);  // the first point, on column 0
    EXPECT_EQ(ScreenCursor(), crSelectorG);
    EXPECT_EQ(v.HotIndex(), 0);
    Move(200, mid + 1);
    EXPECT_EQ(ScreenCursor(), crSelectorR);
    EXPECT_EQ(v.HotPoint(), QPoint(200, mid));
    Move(200, mid + 2);
    EXPECT_EQ(ScreenCursor(), crSelector);
    Move(399, mid);
    EXPECT_EQ(v.HotIndex(), 1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&v, &leave);
    EXPECT_EQ(ScreenCursor(), 0);
    EXPECT_EQ(v.HotIndex(), -1);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(EffectViewerMouseTest, pressOnALineAddsAPointOnTheLine)
{
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 16000, 100);  // A now slopes from 0 to 100
    const int lineY = (mid + v.YAtValue(16000, ecBoth)) / 2;
    Move(50, lineY + 1);
    ASSERT_EQ(ScreenCursor(), crSelectorR);
    Press(50, lineY + 1);
    ASSERT_EQ(Positions(), (std::vector<int>{0, 50, 100, 400}));
    EXPECT_EQ(List()[1].Value, v.ValueAtY(lineY, ecBoth));
    EXPECT_EQ(ScreenCursor(), crSelectorG);  // the new point is under the pointer
    Release(50, lineY + 1);
    EXPECT_FALSE(v.Dragging());
    EXPECT_EQ(v.HotIndex(), 1);  // found again by the release's hit test
}

TEST_F(EffectViewerMouseTest, grabDecidesTheDirectionAndHoldsTheOtherAxis)
{
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 200);
    Grab(201, mid + 1);
    EXPECT_EQ(ScreenCursor(), crMove);
    EXPECT_EQ(v.Anchor(), QPoint(200, mid));
    Move(201, mid + 1);
    EXPECT_EQ(v.DragDirection(), 0);
    Move(202, mid + 5);  // both moved: horizontal wins
    EXPECT_EQ(ScreenCursor(), crLeftRight);
    Move(150, mid + 30);
    EXPECT_EQ(List()[1], (TEffectPointRec{150, 0, ecBoth}));
    Release(150, mid);

    Grab(150, mid);
    Move(150, mid + 3);
    EXPECT_EQ(ScreenCursor(), crUpDown);
    Move(153, mid + 40);
    EXPECT_EQ(List()[1], (TEffectPointRec{150, v.ValueAtY(mid + 40, ecBoth), ecBoth}));
    EXPECT_EQ(List()[0].Value, 0);  // three points: only the dragged one
}

TEST_F(EffectViewerMouseTest, pointsFollowTheMouseWhenZoomedAndScrolled)
{
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 150);
    v.SetTimeScaler(0.5f);
    v.ScrollToSeconds(1);
    ASSERT_EQ(v.ScrollPos(), 100);
    Move(100, mid);  // peak 150 is drawn at (150 - 100) / 0.5
    ASSERT_EQ(ScreenCursor(), crSelectorG);
    Grab(100, mid);
    Move(103, mid);
    Move(120, mid);
    Release(120, mid);
    EXPECT_EQ(List()[1].Position, 160);  // 100 + 120 × 0.5
    Move(120, mid);
    EXPECT_EQ(ScreenCursor(), crSelectorG);  // still under the pointer
}

TEST_F(EffectViewerMouseTest, horizontalDragEndsAtANeighbourOrTheEnds)
{
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 200);
    v.AddPoint(fcA, ecBoth, index, 0, 300);
    Grab(200, mid);
    Move(299, mid);
    EXPECT_EQ(List()[1].Position, 299);
    Move(300, mid);  // would meet the third point
    EXPECT_EQ(v.DragDirection(), 0);
    EXPECT_EQ(ScreenCursor(), crSelectorG);
    Move(320, mid);
    Release(320, mid);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 299, 300, 400}));

    Grab(399, mid);
    Move(396, mid);
    Move(420, mid);  // past the end
    Release(420, mid);
    Grab(0, mid);
    Move(-5, mid);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 299, 300, 396}));
}

TEST_F(EffectViewerMouseTest, twoPointEnvelopeMovesAsOneLevelByItsFirstPoint)
{
    Grab(0, mid);
    Move(0, mid - 30);
    const int level = v.ValueAtY(mid - 30, ecBoth);
    EXPECT_EQ(List()[1].Value, level);
    Release(0, mid - 30);
    const int y = v.YAtValue(level, ecBoth);
    Grab(399, y);
    Move(399, y + 50);  // the second point does not move the level
    EXPECT_EQ(List()[0].Value, level);
    EXPECT_EQ(List()[1].Value, level);
    Release(399, y + 50);
    v.SetSinglePointLevel(false);
    Grab(399, y);
    Move(399, y + 50);
    EXPECT_EQ(List()[0].Value, level);
    EXPECT_EQ(List()[1].Value, v.ValueAtY(y + 50, ecBoth));
}

TEST_F(EffectViewerMouseTest, stereoClicksAddPointsOfTheClickedHalf)
{
    v.ClearAllPoints();
    v.SetStereoEffects(true);
    const int up = v.ValueAtY(50, ecBoth), down = v.ValueAtY(150, ecBoth);
    int index = 0;
    for (auto [pos, value] : {std::pair{0, up}, std::pair{100, up}, std::pair{200, down}, std::pair{300, down}})
        ASSERT_TRUE(v.AddPoint(fcA, ecBoth, index, value, pos));
    const int upper = v.YAtValue(up, ecBoth), lower = v.YAtValue(down, ecBoth);
    Grab(50, upper);
    Release(50, upper);
    Grab(250, lower);
    Release(250, lower);
    ASSERT_EQ(Positions(), (std::vector<int>{0, 50, 100, 200, 250, 300}));
    EXPECT_EQ(List()[1].Channel, ecLeft);
    EXPECT_EQ(List()[4].Channel, ecRight);
    // Drawn at the clicked row, the value read on a half-height band.
    EXPECT_LE(std::abs(v.YAtValue(List()[1].Value, ecLeft) - upper), 1);
    EXPECT_LE(std::abs(v.YAtValue(List()[4].Value, ecRight) - lower), 1);
    EXPECT_NE(List()[1].Value, v.ValueAtY(upper, ecBoth));

    v.SetFocusedType(fcC);  // no list: nothing is hit and nothing added
    Move(50, upper);
    EXPECT_EQ(ScreenCursor(), crSelector);
    EXPECT_EQ(v.AddPointAt(50, upper), -1);
}

TEST_F(EffectViewerMouseTest, rightClickKeepsTheHoveredPointForDeletion)
{
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 120);
    Move(120, mid);
    Press(120, mid, Qt::RightButton);
    ASSERT_EQ(v.HotIndex(), 1);
    TEffectPointRec p;
    v.GetPoint(v.FocusedType(), v.HotIndex(), p);
    EXPECT_TRUE(v.DeletePoint(v.FocusedType(), p.Channel, v.HotIndex()));
    EXPECT_EQ(Positions(), (std::vector<int>{0, 400}));
}

TEST_F(EffectViewerMouseTest, editingOutsideTheRangeRaisesButTheMouseNever)
{
    v.SetTimeScaler(2.0f);
    ExpectRaise([&] { v.AddPointAt(201, mid); }, "Position is out of range");
    ExpectRaise([&] { v.SetValueAt(250, mid); }, "Position is out of range");
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 200);
    Move(100, mid);
    ASSERT_EQ(v.HotIndex(), 1);
    v.ClearPoints(fcA);
    v.AddPoint(fcA, ecBoth, index, 0, 10);
    ExpectRaise([&] { v.MovePointTo(50, mid); }, "Node Index is out of range");
    Grab(150, mid);
    Move(250, mid);
    Release(250, mid);
    EXPECT_EQ(Positions(), (std::vector<int>{10}));
}

TEST_F(EffectViewerMouseTest, focusedEnvelopeIsDrawnLast)
{
    // All three lie on the middle row.
    EXPECT_EQ(Pixel(200, mid), Rgb(v.EffectPoints().ColorA()));
    v.SetFocusedType(fcB);
    EXPECT_EQ(Pixel(200, mid), Rgb(v.EffectPoints().ColorB()));
    v.SetFocusedType(fcC);
    EXPECT_EQ(Pixel(200, mid), Rgb(v.EffectPoints().ColorC()));
    v.SetVisiblePoints({fcA, fcB});  // hidden focus: A comes after B
    EXPECT_EQ(Pixel(200, mid), Rgb(v.EffectPoints().ColorA()));
}

TEST_F(EffectViewerMouseTest, linesAndDiscsOverRealPeaks)
{
    Load(Stereo16(8000, 80, 4, [](int64_t p, int ch) {
        const auto a = static_cast<uint32_t>(32768 + 20000 * std::abs(std::sin(double(p) / 40.0)));
        return ch == 0 ? std::pair{a, 65535 - a} : std::pair{65535 - a, a};
    }));
    int index = 0;
    v.ClearPoints(fcB);
    for (auto [pos, value] : {std::pair{0, 16000}, std::pair{100, 16000}, std::pair{300, -16000}, std::pair{400, 0}})
        v.AddPoint(fcB, ecBoth, index, value, pos);
    v.ClearPoints(fcC);
    v.AddPoint(fcC, ecBoth, index, -24000, 0);
    v.AddPoint(fcC, ecBoth, index, -24000, 400);
    v.SetFocusedType(fcB);
    const QRgb b = Rgb(v.EffectPoints().ColorB());
    const int yB = v.YAtValue(16000, ecBoth);
    EXPECT_EQ(Pixel(50, yB), b);
    EXPECT_EQ(Pixel(250, mid), Rgb(v.EffectPoints().ColorA()));
    EXPECT_EQ(Pixel(250, v.YAtValue(-24000, ecBoth)), Rgb(v.EffectPoints().ColorC()));
    for (int dx = -2; dx <= 2; ++dx)  // the disc of the point at column 100
        EXPECT_EQ(Pixel(100 + dx, yB + 2), b) << dx;
    EXPECT_EQ(Pixel(200, mid), b);  // B crosses A on top
    int peaks = 0;
    for (int y = 2; y < 198; ++y)
        peaks += Pixel(60, y) == Rgb(v.PeaksColor());
    EXPECT_GT(peaks, 20);
}

TEST(ViewerCursors, sixCursorsWithTheirHotSpotsBecomeTheScreenCursor)
{
    RegisterViewerCursors();
    for (int id = 1; id <= 6; ++id) {
        ASSERT_TRUE(HasCursorTableEntry(id)) << id;
        const QCursor c = CursorTableEntry(id);
        EXPECT_EQ(c.pixmap().size(), QSize(32, 32)) << id;
        EXPECT_EQ(c.hotSpot(), QPoint(15, id == crLeftRight ? 16 : 15)) << id;
    }
    EXPECT_EQ(ViewerCursorName(crSelectorR), QStringLiteral("SELECTORR"));
    SetScreenCursor(crLeftRight);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->hotSpot(), QPoint(15, 16));
    SetScreenCursor(0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace

} // namespace kx
