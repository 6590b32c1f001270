#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "viewers/KXPeakEffectViewer.h"
#include "viewers/ScreenCursor.h"

using namespace PeakTestData;

namespace {

class EffectViewerMouseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetScreenCursor(0);
        Prepare(v, 400, 200);
        // 4 s at 100 peaks a second: PointRange 400, the whole track in view.
        const auto bytes = Stereo16(8000, 80, 4, Constant(40000, 30000));
        TMemoryStream stream;
        stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        ASSERT_TRUE(v.LoadFromStream(&stream));
        v.SetVisiblePoints({fcA, fcB, fcC});
        mid = v.YAtValue(0, ecBoth);
        ASSERT_EQ(mid, 100);
    }
    void TearDown() override { SetScreenCursor(0); }

    void Send(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        const QPointF local(x, y);
        QMouseEvent e(type, local, v.mapToGlobal(local), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&v, &e);
    }
    void Move(int x, int y) { Send(QEvent::MouseMove, x, y, Qt::NoButton, held); }
    void Press(int x, int y)
    {
        held = Qt::LeftButton;
        Send(QEvent::MouseButtonPress, x, y, Qt::LeftButton, held);
    }
    void Release(int x, int y)
    {
        held = Qt::NoButton;
        Send(QEvent::MouseButtonRelease, x, y, Qt::LeftButton, held);
    }
    // Hover, then press where the pointer is.
    void Grab(int x, int y)
    {
        Move(x, y);
        Press(x, y);
    }

    const TKXPeakEffectViewer::PointList& A() const { return *v.PointListOf(fcA); }
    std::vector<int> Positions() const
    {
        std::vector<int> out;
        for (const auto& p : A())
            out.push_back(p.Position);
        return out;
    }

    TKXPeakEffectViewer v;
    Qt::MouseButtons held = Qt::NoButton;
    int mid = 0;
};

TEST_F(EffectViewerMouseTest, hoverTellsPointsLinesAndEmptySpace)
{
    EXPECT_EQ(Positions(), (std::vector<int>{0, 400}));
    // The first point sits on column 0 (no disc) and is still hit within a pixel.
    Move(1, mid + 1);
    EXPECT_EQ(ScreenCursor(), crSelectorG);
    EXPECT_EQ(v.HotIndex(), 0);
    Move(200, mid + 1);
    EXPECT_EQ(ScreenCursor(), crSelectorR);
    EXPECT_EQ(v.HotPoint(), QPoint(200, mid));
    EXPECT_EQ(v.HotIndex(), -1);
    Move(200, mid + 2);
    EXPECT_EQ(ScreenCursor(), crSelector);
    Move(399, mid);
    EXPECT_EQ(ScreenCursor(), crSelectorG);
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
    const int lineY = (v.YAtValue(0, ecBoth) + v.YAtValue(16000, ecBoth)) / 2;
    Move(50, lineY + 1);
    ASSERT_EQ(ScreenCursor(), crSelectorR);
    const QPoint onLine = v.HotPoint();
    Press(50, onLine.y() + 1);
    ASSERT_EQ(Positions(), (std::vector<int>{0, 50, 100, 400}));
    EXPECT_EQ(A()[1].Value, v.ValueAtY(onLine.y(), ecBoth));
    EXPECT_LE(std::abs(v.YAtValue(A()[1].Value, ecBoth) - (onLine.y() + 1)), 1);
    // The new point is under the pointer.
    EXPECT_EQ(ScreenCursor(), crSelectorG);
    EXPECT_TRUE(v.Dragging());
    Release(50, onLine.y() + 1);
    EXPECT_FALSE(v.Dragging());
    // The release's hit test finds the new point again.
    EXPECT_EQ(v.HotIndex(), 1);
    EXPECT_EQ(ScreenCursor(), crSelectorG);
}

TEST_F(EffectViewerMouseTest, grabDecidesTheDirectionAfterTwoPixels)
{
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 200);
    Grab(201, mid + 1);
    EXPECT_EQ(ScreenCursor(), crMove);
    EXPECT_EQ(v.Anchor(), QPoint(200, mid));
    Move(201, mid + 1);
    EXPECT_EQ(ScreenCursor(), crMove);
    EXPECT_EQ(v.DragDirection(), 0);
    Move(202, mid + 5);  // both moved: horizontal wins
    EXPECT_EQ(ScreenCursor(), crLeftRight);
    EXPECT_EQ(v.DragDirection(), 2);
    EXPECT_EQ(A()[1].Position, 202);
    EXPECT_EQ(A()[1].Value, 0);  // the row is locked
    Move(150, mid + 30);
    EXPECT_EQ(A()[1].Position, 150);
    EXPECT_EQ(A()[1].Value, 0);
    Release(150, mid);
    EXPECT_EQ(ScreenCursor(), crSelectorG);

    Grab(150, mid);
    Move(150, mid + 3);
    EXPECT_EQ(ScreenCursor(), crUpDown);
    EXPECT_EQ(v.DragDirection(), 1);
    Move(153, mid + 40);  // the column is locked
    EXPECT_EQ(A()[1].Position, 150);
    EXPECT_EQ(A()[1].Value, v.ValueAtY(mid + 40, ecBoth));
    EXPECT_EQ(A()[0].Value, 0);  // three points: only the dragged one
    EXPECT_EQ(A()[2].Value, 0);
}

TEST_F(EffectViewerMouseTest, horizontalDragStopsAtANeighbour)
{
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 200);
    v.AddPoint(fcA, ecBoth, index, 0, 300);
    Grab(200, mid);
    Move(203, mid);
    EXPECT_EQ(A()[1].Position, 203);
    Move(299, mid);
    EXPECT_EQ(A()[1].Position, 299);
    Move(300, mid);  // would meet the third point
    EXPECT_EQ(A()[1].Position, 299);
    EXPECT_EQ(v.DragDirection(), 0);
    EXPECT_TRUE(v.Dragging());
    // The cursor comes from the hit test again: the point is still under the pointer.
    EXPECT_EQ(ScreenCursor(), crSelectorG);
    Move(320, mid);  // the drag of the point has ended
    EXPECT_EQ(A()[1].Position, 299);
    Release(320, mid);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 299, 300, 400}));

    // The last point cannot pass the end, the first cannot go below 0.
    Grab(399, mid);
    Move(396, mid);
    EXPECT_EQ(A()[3].Position, 396);
    Move(420, mid);
    EXPECT_EQ(A()[3].Position, 396);
    Release(420, mid);
    Grab(0, mid);
    Move(-5, mid);
    EXPECT_EQ(A()[0].Position, 0);
}

TEST_F(EffectViewerMouseTest, twoPointEnvelopeMovesAsOneLevelByItsFirstPoint)
{
    Grab(0, mid);
    Move(0, mid - 30);
    EXPECT_EQ(v.DragDirection(), 1);
    const int level = v.ValueAtY(mid - 30, ecBoth);
    EXPECT_EQ(A()[0].Value, level);
    EXPECT_EQ(A()[1].Value, level);
    Release(0, mid - 30);

    const int y = v.YAtValue(level, ecBoth);
    Grab(399, y);
    Move(399, y + 50);
    EXPECT_EQ(v.DragDirection(), 1);
    EXPECT_EQ(A()[0].Value, level);
    EXPECT_EQ(A()[1].Value, level);
    Release(399, y + 50);

    v.SetSinglePointLevel(false);
    Grab(399, y);
    Move(399, y + 50);
    EXPECT_EQ(A()[0].Value, level);
    EXPECT_EQ(A()[1].Value, v.ValueAtY(y + 50, ecBoth));
}

TEST_F(EffectViewerMouseTest, stereoHalvesAddLeftAndRightPoints)
{
    v.ClearAllPoints();
    v.SetStereoEffects(true);
    // A line in the upper half (0..100) and one in the lower half (200..300).
    const int up = v.ValueAtY(50, ecBoth), down = v.ValueAtY(150, ecBoth);
    int index = 0;
    for (auto [pos, value] : {std::pair{0, up}, std::pair{100, up}, std::pair{200, down}, std::pair{300, down}})
        ASSERT_TRUE(v.AddPoint(fcA, ecBoth, index, value, pos));
    const int upperRow = v.YAtValue(up, ecBoth), lowerRow = v.YAtValue(down, ecBoth);

    Grab(50, upperRow);
    Release(50, upperRow);
    Grab(250, lowerRow);
    Release(250, lowerRow);
    ASSERT_EQ(Positions(), (std::vector<int>{0, 50, 100, 200, 250, 300}));
    EXPECT_EQ(A()[1].Channel, ecLeft);
    EXPECT_EQ(A()[4].Channel, ecRight);
    EXPECT_EQ(A()[1].Value, v.ValueAtY(upperRow, ecLeft));
    EXPECT_EQ(A()[4].Value, v.ValueAtY(lowerRow, ecRight));
    // Drawn at the clicked rows, values read on half-height bands.
    EXPECT_LE(std::abs(v.YAtValue(A()[1].Value, ecLeft) - upperRow), 1);
    EXPECT_LE(std::abs(v.YAtValue(A()[4].Value, ecRight) - lowerRow), 1);
    EXPECT_NE(v.ValueAtY(120, ecLeft), v.ValueAtY(120, ecRight));

    // Type C has no list: nothing is hit and a click adds nothing.
    v.SetFocusedType(fcC);
    Move(50, upperRow);
    EXPECT_EQ(ScreenCursor(), crSelector);
    Press(50, upperRow);
    Release(50, upperRow);
    EXPECT_EQ(v.PointListOf(fcC), nullptr);
    EXPECT_EQ(v.AddPointAt(50, upperRow), -1);
}

TEST_F(EffectViewerMouseTest, deleteThroughHotIndexAfterARightClick)
{
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 120);
    Move(120, mid);
    const QPointF at(120, mid);
    QMouseEvent right(QEvent::MouseButtonPress, at, v.mapToGlobal(at), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&v, &right);
    ASSERT_EQ(v.HotIndex(), 1);
    TEffectPointRec p;
    v.GetPoint(v.FocusedType(), v.HotIndex(), p);
    EXPECT_TRUE(v.DeletePoint(v.FocusedType(), p.Channel, v.HotIndex()));
    EXPECT_EQ(Positions(), (std::vector<int>{0, 400}));
}

TEST_F(EffectViewerMouseTest, editingOutsideTheRangeRaises)
{
    v.SetTimeScaler(2.0f);
    auto expectRaise = [](const std::function<void()>& f, const char* message) {
        try {
            f();
            ADD_FAILURE() << message;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(message));
        }
    };
    expectRaise([&] { v.AddPointAt(201, mid); }, "Position is out of range");
    expectRaise([&] { v.SetValueAt(250, mid); }, "Position is out of range");
    // A hot index left behind by a shorter list.
    int index = 0;
    v.AddPoint(fcA, ecBoth, index, 0, 200);
    Move(100, mid);
    ASSERT_EQ(v.HotIndex(), 1);
    v.ClearPoints(fcA);
    v.AddPoint(fcA, ecBoth, index, 0, 10);
    expectRaise([&] { v.MovePointTo(50, mid); }, "Node Index is out of range");
    // The same situations through the mouse change nothing and raise nothing.
    Move(150, mid);
    Press(150, mid);
    Release(150, mid);
    EXPECT_EQ(A().size(), 1u);
}

class EffectViewerDrawingTest : public EffectViewerMouseTest
{
protected:
    QRgb Pixel(int x, int y) const { return v.BufferImage().pixel(x, y); }
    static QRgb Rgb(TColor c) { return ToQColor(c).rgb(); }
};

TEST_F(EffectViewerDrawingTest, focusedEnvelopeIsDrawnLast)
{
    // All three lie on the middle row.
    ASSERT_EQ(v.PointListOf(fcB)->size(), 2u);
    ASSERT_EQ(v.PointListOf(fcC)->size(), 2u);
    ASSERT_EQ(Pixel(200, mid), Rgb(v.EffectPoints().ColorA()));
    v.SetFocusedType(fcB);
    EXPECT_EQ(Pixel(200, mid), Rgb(v.EffectPoints().ColorB()));
    v.SetFocusedType(fcC);
    EXPECT_EQ(Pixel(200, mid), Rgb(v.EffectPoints().ColorC()));
    // Focus on a hidden type: A comes after B.
    v.SetVisiblePoints({fcA, fcB});
    EXPECT_EQ(Pixel(200, mid), Rgb(v.EffectPoints().ColorA()));
    v.SetFocusedType(fcB);
    v.EffectPoints().SetColorB(clLime);
    EXPECT_EQ(Pixel(200, mid), Rgb(clLime));
}

TEST_F(EffectViewerDrawingTest, linesDiscsAndPeaksTogether)
{
    // Real peaks under three envelopes at different levels.
    const auto bytes = Stereo16(8000, 80, 4, [](int64_t p, int ch) {
        const auto a = static_cast<uint32_t>(32768 + 20000 * std::abs(std::sin(double(p) / 40.0)));
        return ch == 0 ? std::pair{a, 65535 - a} : std::pair{65535 - a, a};
    });
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_TRUE(v.LoadFromStream(&stream));
    int index = 0;
    v.ClearPoints(fcB);
    v.AddPoint(fcB, ecBoth, index, 16000, 0);
    v.AddPoint(fcB, ecBoth, index, 16000, 100);
    v.AddPoint(fcB, ecBoth, index, -16000, 300);
    v.AddPoint(fcB, ecBoth, index, 0, 400);
    v.ClearPoints(fcC);
    v.AddPoint(fcC, ecBoth, index, -24000, 0);
    v.AddPoint(fcC, ecBoth, index, -24000, 400);
    v.SetFocusedType(fcB);

    const QRgb a = Rgb(v.EffectPoints().ColorA()), b = Rgb(v.EffectPoints().ColorB()),
               c = Rgb(v.EffectPoints().ColorC());
    const int yB = v.YAtValue(16000, ecBoth);
    EXPECT_EQ(Pixel(50, yB), b);
    EXPECT_EQ(Pixel(250, mid), a);
    EXPECT_EQ(Pixel(250, v.YAtValue(-24000, ecBoth)), c);
    // A six-pixel disc on the point at column 100, none on the last point.
    for (int dx = -2; dx <= 2; ++dx)
        EXPECT_EQ(Pixel(100 + dx, yB + 2), b) << dx;
    EXPECT_NE(Pixel(100, yB + 5), b);
    // Where B crosses A, B (focused) is on top.
    EXPECT_EQ(Pixel(200, v.YAtValue(0, ecBoth)), b);
    // The peaks are still there.
    int peaks = 0;
    for (int y = 2; y < 198; ++y)
        peaks += Pixel(60, y) == Rgb(v.PeaksColor());
    EXPECT_GT(peaks, 20);
    if (qEnvironmentVariableIsSet("KX_VIEWERS_SNAPSHOT"))
        v.BufferImage().save(qEnvironmentVariable("KX_VIEWERS_SNAPSHOT"));
}

TEST(ViewerCursors, sixCursorsRegisteredOnceWithTheirHotSpots)
{
    RegisterViewerCursors();
    const QStringList names = {"SELECTOR", "SELECTORR", "SELECTORG", "MOVE", "UPDOWN", "LEFTRIGHT"};
    for (int id = 1; id <= 6; ++id) {
        ASSERT_TRUE(HasCursorTableEntry(id)) << id;
        EXPECT_EQ(ViewerCursorName(id), names[id - 1]);
        const QCursor c = CursorTableEntry(id);
        EXPECT_EQ(c.pixmap().size(), QSize(32, 32)) << id;
        EXPECT_EQ(c.hotSpot(), QPoint(15, id == crLeftRight ? 16 : 15)) << id;
    }
    EXPECT_FALSE(HasCursorTableEntry(7));
    SetScreenCursor(crMove);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->hotSpot(), QPoint(15, 15));
    SetScreenCursor(crLeftRight);
    EXPECT_EQ(QGuiApplication::overrideCursor()->hotSpot(), QPoint(15, 16));
    SetScreenCursor(0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
