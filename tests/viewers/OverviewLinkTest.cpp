#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <cmath>
#include <memory>

#include "PeakTestData.h"
#include "platform/MemoryStream.h"
#include "platform/widgets/HorzScrollBar.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/OverviewLink.h"

namespace kx {

using namespace PeakTestData;

namespace {

bool Load(TKXCustomPeakViewer& v, const std::vector<uint8_t>& bytes)
{
    TMemoryStream s;
    s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    return v.LoadFromStream(&s);
}

void Mouse(QWidget* w, QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons held)
{
    const QPointF at(x, 10);
    QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// A zoom view of 400 columns over an overview of 400; a minute at 100 peaks
// a second, so the overview shows 15 peaks a column.
class OverviewLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        overview = std::make_unique<TKXAudioPeakViewer>();
        zoom = std::make_unique<TKXAudioPeakViewer>();
        Prepare(*overview, 400, 100);
        Prepare(*zoom, 400, 150);
        ASSERT_TRUE(Load(*zoom, Stereo16(8000, 80, 60, Constant(49152, 16384))));
        link = LinkOverview(overview.get(), zoom.get());
        ASSERT_TRUE(link);
    }
    QRectF Box() const { return link->Highlight(); }

    std::unique_ptr<TKXAudioPeakViewer> overview, zoom;
    QPointer<OverviewLink> link;
};

} // namespace

TEST_F(OverviewLinkTest, theOverviewShowsTheWholeFileWithTheZoomRangeBoxed)
{
    EXPECT_EQ(overview->Model().PeakCount(), 6000);
    EXPECT_EQ(overview->DurationMs(), zoom->DurationMs());
    EXPECT_FLOAT_EQ(overview->TimeScaler(), 15.0f);
    EXPECT_EQ(overview->ScrollPos(), 0);
    // 400 peaks of the zoom view over 15 a column.
    EXPECT_DOUBLE_EQ(Box().left(), 0.0);
    EXPECT_NEAR(Box().width(), 400.0 / 15, 1e-9);
    EXPECT_EQ(Box().height(), overview->ClientHeight());
    // The box tints the background; outside it the overview is as drawn alone.
    const QRgb back = ToQColor(overview->Color()).rgb();
    EXPECT_NE(overview->BufferImage().pixel(15, 5), back);
    EXPECT_EQ(overview->BufferImage().pixel(200, 5), back);
    // A narrower overview fits the file again.
    overview->resize(200, overview->height());
    EXPECT_TRUE(QTest::qWaitFor([&] { return overview->TimeScaler() == 30.0f; })) << overview->TimeScaler();
    EXPECT_NEAR(Box().width(), 400.0 / 30, 1e-9);
}

TEST_F(OverviewLinkTest, scrollingZoomingAndResizingTheZoomViewMoveTheBox)
{
    zoom->setScrollPosition(3000);
    EXPECT_DOUBLE_EQ(Box().left(), 200.0);
    const QImage at200 = overview->BufferImage().copy();
    EXPECT_NE(at200.pixel(205, 5), ToQColor(overview->Color()).rgb());
    zoom->SetTimeScaler(4.0f);
    EXPECT_NEAR(Box().width(), 1600.0 / 15, 1e-9);
    // Paging by the scroll bar moves it too.
    zoom->ScrollBar()->Request(SB_PAGERIGHT);
    EXPECT_GT(Box().left(), 200.0);
    const double width = Box().width();
    zoom->resize(200, zoom->height());
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(Box().width() - width / 2) < 1e-9; })) << Box().width();
}

TEST_F(OverviewLinkTest, aClickCentresTheZoomRangeAndADragMovesIt)
{
    // Outside the box: the range centres on the click.
    Mouse(overview.get(), QEvent::MouseButtonPress, 300, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(zoom->ScrollPos(), 300 * 15 - 200);
    EXPECT_NEAR(Box().center().x(), 300.0, 0.5);
    Mouse(overview.get(), QEvent::MouseMove, 320, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(zoom->ScrollPos(), 320 * 15 - 200);
    Mouse(overview.get(), QEvent::MouseButtonRelease, 320, Qt::LeftButton, Qt::NoButton);
    // Moving without the button changes nothing.
    Mouse(overview.get(), QEvent::MouseMove, 100, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(zoom->ScrollPos(), 320 * 15 - 200);
    // Inside the box it is dragged by the point pressed: no jump.
    const int inside = int(Box().left()) + 5;
    const int before = zoom->ScrollPos();
    Mouse(overview.get(), QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
    EXPECT_NEAR(zoom->ScrollPos(), before, 15);
    Mouse(overview.get(), QEvent::MouseMove, inside - 10, Qt::NoButton, Qt::LeftButton);
    EXPECT_NEAR(zoom->ScrollPos(), before - 150, 15);
    // Dragged past the left edge: the range stops at the start.
    Mouse(overview.get(), QEvent::MouseMove, -500, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(zoom->ScrollPos(), 0);
    Mouse(overview.get(), QEvent::MouseButtonRelease, 0, Qt::LeftButton, Qt::NoButton);
}

TEST_F(OverviewLinkTest, playPositionAndMarksReachBothViewers)
{
    zoom->SetPlayTime(int64_t(12) * 10000000);
    EXPECT_EQ(overview->PlayTime(), int64_t(12) * 10000000);
    EXPECT_GT(overview->PointerX(), 0);
    overview->SetPlayTime(int64_t(2) * 10000000);
    EXPECT_EQ(zoom->PlayTime(), int64_t(2) * 10000000);
    ASSERT_TRUE(zoom->SetMark(1000, 2000));
    EXPECT_EQ(overview->MarkStart(), 1000);
    EXPECT_EQ(overview->MarkEnd(), 2000);
    ASSERT_TRUE(overview->SetMark(3000, 9000));
    EXPECT_EQ(zoom->MarkStart(), 3000);
    EXPECT_EQ(zoom->MarkEnd(), 9000);
    QSignalSpy marks(zoom.get(), &TKXCustomPeakViewer::markChanged);
    ASSERT_TRUE(overview->SetMark(0, 0));
    EXPECT_EQ(marks.count(), 1);  // once: the echo stops at the equal value
    EXPECT_EQ(zoom->MarkEnd(), 0);
}

TEST_F(OverviewLinkTest, theOverviewFollowsNewPeaksAndALiveBuild)
{
    ASSERT_TRUE(Load(*zoom, Stereo16(8000, 80, 30, Constant(40000, 20000))));
    EXPECT_EQ(overview->Model().PeakCount(), 3000);
    EXPECT_FLOAT_EQ(overview->TimeScaler(), 7.5f);
    EXPECT_EQ(overview->Model().PeakData, zoom->Model().PeakData);

    // A stream that grows by a second of records at a time.
    const std::vector<uint8_t> all = Stereo16(8000, 80, 10, Constant(50000, 10000));
    auto written = std::make_shared<size_t>(16 + 100 * 8);
    bool writing = true;
    zoom->SetLiveSource(
        [&all, written](int64_t from, std::vector<uint8_t>& head, std::vector<uint8_t>& tail, int64_t& total) {
            head.assign(all.begin(), all.begin() + 16);
            const auto end = static_cast<int64_t>(*written);
            tail.assign(all.begin() + std::min(from, end), all.begin() + end);
            total = end;
            return true;
        },
        [&writing] { return writing; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return overview->Model().PeakCount() == 100; }));
    *written = 16 + 400 * 8;
    ASSERT_TRUE(QTest::qWaitFor([&] { return overview->Model().PeakCount() == 400; }));
    *written = all.size();
    writing = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return overview->Model().PeakCount() == 1000; }));
    EXPECT_EQ(overview->Model().PeakData, zoom->Model().PeakData);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !zoom->LiveStream() && !overview->LiveStream(); }));
    EXPECT_FLOAT_EQ(overview->TimeScaler(), 2.5f);
}

TEST_F(OverviewLinkTest, deletingTheLinkLeavesTwoViewersThatWorkAlone)
{
    delete link;
    // No box any more.
    EXPECT_EQ(overview->BufferImage().pixel(15, 5), ToQColor(overview->Color()).rgb());
    zoom->setScrollPosition(3000);
    zoom->SetPlayTime(5000000);
    overview->SetMark(100, 200);
    EXPECT_EQ(overview->PlayTime(), 0);
    EXPECT_EQ(zoom->MarkEnd(), 0);
    EXPECT_EQ(overview->BufferImage().pixel(205, 5), ToQColor(overview->Color()).rgb());
    Mouse(overview.get(), QEvent::MouseButtonPress, 100, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(zoom->ScrollPos(), 3000);
}

TEST_F(OverviewLinkTest, destroyingEitherViewerUndoesTheLink)
{
    overview.reset();
    zoom->setScrollPosition(1000);
    zoom->SetPlayTime(3000000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return link.isNull(); }));
    EXPECT_EQ(zoom->ScrollPos(), 1000);

    overview = std::make_unique<TKXAudioPeakViewer>();
    Prepare(*overview, 400, 100);
    link = LinkOverview(overview.get(), zoom.get());
    ASSERT_TRUE(link);
    EXPECT_EQ(overview->PlayTime(), 3000000);
    zoom.reset();
    EXPECT_TRUE(link.isNull());  // it went with the zoom view
    overview->SetPlayTime(4000000);
    overview->SetMark(100, 200);
    EXPECT_EQ(overview->MarkEnd(), 200);
    // The overview keeps the peaks it took.
    EXPECT_EQ(overview->Model().PeakCount(), 6000);
}

TEST_F(OverviewLinkTest, refusesMissingOrSameViewers)
{
    EXPECT_EQ(LinkOverview(nullptr, zoom.get()), nullptr);
    EXPECT_EQ(LinkOverview(overview.get(), nullptr), nullptr);
    EXPECT_EQ(LinkOverview(zoom.get(), zoom.get()), nullptr);
}

} // namespace kx
