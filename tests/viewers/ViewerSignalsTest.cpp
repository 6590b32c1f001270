#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/widgets/HorzScrollBar.h"
#include "platform/MemoryStream.h"
#include "platform/QtInput.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/KXPeakEffectViewer.h"
#include "viewers/ViewerCursors.h"

namespace kx {

using namespace PeakTestData;

namespace {

void Load(TKXCustomPeakViewer& v, const std::vector<uint8_t>& bytes)
{
    TMemoryStream s;
    s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_TRUE(v.LoadFromStream(&s));
}

void SendMouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

// A press and a release of one key (QTest::keyClick would add the modifier keys' own events).
void SendKey(QWidget& w, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(&w, &release);
}

// The message the last error() carried; empty when none was emitted.
QString LastError(const QSignalSpy& spy)
{
    return spy.isEmpty() ? QString() : spy.constLast().at(0).toString();
}

class ViewerSignalsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Prepare(v, 400, 200);
        // 60 s at 100 peaks a second: 6000 peaks, 4 s (400 peaks) in view.
        Load(v, Stereo16(8000, 80, 60, Constant(49152, 16384)));
    }

    TKXAudioPeakViewer v;
    // Handler and signal calls in the order they happened.
    QStringList order;
};

} // namespace

TEST_F(ViewerSignalsTest, mouseEventsSignalAfterTheirHandlersWithTheirArguments)
{
    v.OnMouseDown = [&](QObject*, TMouseButton, TShiftState, int, int) { order << "handler"; };
    QObject::connect(&v, &TKXCustomPeakViewer::mouseDown, [&] { order << "signal"; });
    QSignalSpy down(&v, &TKXCustomPeakViewer::mouseDown);
    QSignalSpy up(&v, &TKXCustomPeakViewer::mouseUp);
    QSignalSpy move(&v, &TKXCustomPeakViewer::mouseMove);
    QSignalSpy dbl(&v, &TKXCustomPeakViewer::dblClick);

    QTest::mousePress(&v, Qt::LeftButton, Qt::ShiftModifier, QPoint(50, 40));
    QTest::mouseRelease(&v, Qt::LeftButton, Qt::NoModifier, QPoint(51, 41));
    SendMouse(v, QEvent::MouseButtonPress, QPoint(70, 20), Qt::RightButton, Qt::RightButton);
    SendMouse(v, QEvent::MouseMove, QPoint(60, 30), Qt::NoButton, Qt::NoButton);

    EXPECT_EQ(order, (QStringList{"handler", "signal", "handler", "signal"}));
    ASSERT_EQ(down.count(), 2);
    EXPECT_EQ(down.at(0).at(0).value<TMouseButton>(), mbLeft);
    const auto shift = down.at(0).at(1).value<TShiftState>();
    EXPECT_TRUE(shift.Contains(ssShift));
    EXPECT_TRUE(shift.Contains(ssLeft));
    EXPECT_EQ(down.at(0).at(2).toInt(), 50);
    EXPECT_EQ(down.at(0).at(3).toInt(), 40);
    EXPECT_EQ(down.at(1).at(0).value<TMouseButton>(), mbRight);
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up.at(0).at(2).toInt(), 51);
    ASSERT_EQ(move.count(), 1);
    EXPECT_EQ(move.at(0).at(1).toInt(), 60);
    EXPECT_EQ(move.at(0).at(2).toInt(), 30);

    // A double click is also a press of the left button, with ssDouble.
    SendMouse(v, QEvent::MouseButtonDblClick, QPoint(80, 40), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(dbl.count(), 1);
    ASSERT_EQ(down.count(), 3);
    EXPECT_TRUE(down.at(2).at(1).value<TShiftState>().Contains(ssDouble));
}

TEST_F(ViewerSignalsTest, keySignalsCarryTheValueTheHandlerLeft)
{
    v.OnKeyDown = [](QObject*, uint16_t& key, TShiftState) { key = 0; };
    v.OnKeyPress = [](QObject*, QChar& key) { key = QLatin1Char('b'); };
    QSignalSpy down(&v, &TKXCustomPeakViewer::keyDown);
    QSignalSpy press(&v, &TKXCustomPeakViewer::keyPress);
    QSignalSpy up(&v, &TKXCustomPeakViewer::keyUp);

    SendKey(v, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down.at(0).at(0).toInt(), 0);
    EXPECT_TRUE(down.at(0).at(1).value<TShiftState>().Contains(ssCtrl));
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up.at(0).at(0).toInt(), 'A');

    // Without handlers the signals still fire, with the key as typed.
    v.OnKeyDown = nullptr;
    v.OnKeyPress = nullptr;
    QTest::keyClick(&v, Qt::Key_A);
    ASSERT_EQ(press.count(), 2);
    EXPECT_EQ(press.at(0).at(0).value<QChar>(), QLatin1Char('b'));
    EXPECT_EQ(press.at(1).at(0).value<QChar>(), QLatin1Char('a'));
    EXPECT_EQ(down.at(1).at(0).toInt(), 'A');
}

TEST_F(ViewerSignalsTest, enterExitScrollAndPaintAreSignalsToo)
{
    QSignalSpy enter(&v, &TKXCustomPeakViewer::enter);
    QSignalSpy exit(&v, &TKXCustomPeakViewer::exit);
    QEnterEvent in(QPointF(5, 5), QPointF(5, 5), v.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&v, &in);
    QEvent out(QEvent::Leave);
    QApplication::sendEvent(&v, &out);
    EXPECT_EQ(enter.count(), 1);
    EXPECT_EQ(exit.count(), 1);

    // The handler's change to the position is what the signal carries.
    v.OnScroll = [](QObject*, int, int& pos) { pos = 99; };
    QSignalSpy scrolled(&v, &TKXCustomPeakViewer::scrolled);
    v.ScrollBar()->Request(SB_LINERIGHT);
    ASSERT_EQ(scrolled.count(), 1);
    EXPECT_EQ(scrolled.at(0).at(0).toInt(), int(SB_LINERIGHT));
    EXPECT_EQ(scrolled.at(0).at(1).toInt(), 99);

    // The painter is the back buffer's, valid during the direct call.
    int paints = 0;
    QObject::connect(&v, &TKXCustomPeakViewer::paint, [&](QPainter& p) {
        ++paints;
        p.fillRect(QRect(0, 0, 4, 4), Qt::red);
    });
    v.PaintPeaks(false, nullptr);
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(v.BufferImage().pixel(1, 1), QColor(Qt::red).rgb());
}

TEST_F(ViewerSignalsTest, propertiesRoundTripThroughTheirSetters)
{
    EXPECT_TRUE(v.setProperty("autoMove", false));
    EXPECT_FALSE(v.AutoMove());
    v.setProperty("paintCursor", true);
    EXPECT_TRUE(v.property("paintCursor").toBool());
    v.setProperty("playStepPercent", 20);
    EXPECT_EQ(v.PlayStepPercent(), 20);
    EXPECT_EQ(v.property("playStepPercent").toInt(), 20);
    v.setProperty("timeScaler", 2.5f);
    EXPECT_FLOAT_EQ(v.TimeScaler(), 2.5f);
    v.setProperty("peakReduction", int(prMinMax));
    EXPECT_EQ(v.PeakReduction(), prMinMax);
    EXPECT_EQ(v.property("peakReduction").toInt(), int(prMinMax));

    // Colours: TColor is 0x00BBGGRR; system colours read resolved.
    v.setProperty("peaksColor", QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(v.PeaksColor(), 0x302010);
    EXPECT_EQ(v.property("peaksColor").value<QColor>(), QColor(0x10, 0x20, 0x30));
    v.SetBorderColor(clBtnFace);
    EXPECT_EQ(v.property("borderColor").value<QColor>(), v.palette().color(QPalette::Button));
    EXPECT_EQ(v.property("color").value<QColor>(), QColor(0xC0, 0xC0, 0xC0));

    v.setProperty("cursorPosition", qint64(12345));
    EXPECT_EQ(v.Position(), 12345);
    v.setProperty("scrollPosition", 700);
    EXPECT_EQ(v.ScrollPos(), 700);
    EXPECT_EQ(v.property("durationMs").toInt(), 60000);

    QMenu menu;
    v.setProperty("popupMenu", QVariant::fromValue(&menu));
    EXPECT_EQ(v.PopupMenu(), &menu);
}

TEST_F(ViewerSignalsTest, refusedWritesKeepTheValueAndReportError)
{
    QSignalSpy error(&v, &TKXCustomPeakViewer::error);
    v.SetPlayStepPercent(10);
    EXPECT_TRUE(v.setProperty("playStepPercent", 50));
    EXPECT_EQ(v.PlayStepPercent(), 10);
    EXPECT_EQ(LastError(error), "PlayStepPercent must be between 0 and 49");

    v.setProperty("timeScaler", 0.01f);
    EXPECT_FLOAT_EQ(v.TimeScaler(), 1.0f);
    EXPECT_EQ(LastError(error), "TimeScaler must be a number from 0.1 to 1000000");

    v.setProperty("peakReduction", 2);
    EXPECT_EQ(v.PeakReduction(), prSkip);
    EXPECT_EQ(LastError(error), "PeakReduction must be prSkip or prMinMax");

    // An unreadable peak file: reported, and the picture stays.
    const QString missing = QStringLiteral("/nonexistent/none.pek");
    v.setProperty("peaksFileName", missing);
    EXPECT_EQ(v.DurationMs(), 60000);
    EXPECT_EQ(LastError(error), "Cannot load peaks from " + missing);
    EXPECT_EQ(error.count(), 4);

    // Accepted writes report nothing.
    v.setProperty("playStepPercent", 49);
    v.setProperty("peaksFileName", QString());
    EXPECT_EQ(error.count(), 4);
}

TEST_F(ViewerSignalsTest, userInputNotifiesCursorAndScrollPositions)
{
    QSignalSpy cursor(&v, &TKXCustomPeakViewer::cursorPositionChanged);
    QSignalSpy scroll(&v, &TKXCustomPeakViewer::scrollPositionChanged);

    QTest::mouseClick(&v, Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    ASSERT_EQ(cursor.count(), 1);
    EXPECT_EQ(cursor.at(0).at(0).toLongLong(), v.Position());
    EXPECT_GT(v.Position(), 0);
    const int64_t clicked = v.Position();
    QTest::keyClick(&v, Qt::Key_Right);
    ASSERT_EQ(cursor.count(), 2);
    EXPECT_EQ(cursor.at(1).at(0).toLongLong(), clicked + 40);
    EXPECT_EQ(scroll.count(), 0);

    // The scroll bar: a click on its right arrow steps a line, one in the
    // trough a page.
    QScrollBar* bar = v.ScrollBar()->Bar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() - 3, bar->height() / 2));
    ASSERT_EQ(scroll.count(), 1);
    EXPECT_EQ(scroll.at(0).at(0).toInt(), v.ScrollPos());
    EXPECT_EQ(v.ScrollPos(), 100);  // a line is a tenth of the 4 s in view
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() - 40, bar->height() / 2));
    ASSERT_EQ(scroll.count(), 2);
    EXPECT_EQ(v.ScrollPos(), 500);

    // Zoomed out to the whole track, the view moves back to the range's end.
    QSignalSpy zoom(&v, &TKXCustomPeakViewer::timeScalerChanged);
    v.setProperty("timeScaler", 15.0f);
    ASSERT_EQ(zoom.count(), 1);
    EXPECT_FLOAT_EQ(zoom.at(0).at(0).toFloat(), 15.0f);
    ASSERT_EQ(scroll.count(), 3);
    EXPECT_EQ(v.ScrollPos(), v.ScrollBar()->State().MaxPos());
    EXPECT_EQ(scroll.at(2).at(0).toInt(), v.ScrollPos());
}

TEST_F(ViewerSignalsTest, playerPositionsPageTheViewAndMarksAndLoadsNotify)
{
    QSignalSpy play(&v, &TKXCustomPeakViewer::playTimeChanged);
    QSignalSpy scroll(&v, &TKXCustomPeakViewer::scrollPositionChanged);
    // A player on another thread reaches the slot queued.
    std::thread player([&] {
        QMetaObject::invokeMethod(&v, "setPlayTime", Qt::QueuedConnection, Q_ARG(qint64, 29'000 * 10'000LL));
    });
    player.join();
    ASSERT_TRUE(play.wait(5000));
    EXPECT_EQ(play.at(0).at(0).toLongLong(), 29'000 * 10'000LL);
    EXPECT_EQ(v.PlayMediaTime(), std::chrono::seconds(29));
    // 29 s sits past the right edge: the view paged.
    ASSERT_EQ(scroll.count(), 1);
    EXPECT_GT(v.ScrollPos(), 0);
    v.setPlayTime(29'000 * 10'000LL);
    EXPECT_EQ(play.count(), 1);

    QSignalSpy mark(&v, &TKXCustomPeakViewer::markChanged);
    EXPECT_TRUE(v.SetMark(std::chrono::seconds(3), std::chrono::milliseconds(7500)));
    EXPECT_EQ(v.MarkEnd(), 7500);
    EXPECT_TRUE(v.SetMark(3000, 7500));
    EXPECT_FALSE(v.SetMark(std::chrono::milliseconds(-5), std::chrono::seconds(1)));
    EXPECT_EQ(mark.count(), 1);
    EXPECT_EQ(v.property("markStart").toInt(), 3000);

    QSignalSpy peaks(&v, &TKXCustomPeakViewer::peaksChanged);
    v.Clear();
    EXPECT_EQ(peaks.count(), 1);
    EXPECT_EQ(v.property("pcmByteCount").toLongLong(), 0);
    Load(v, Stereo16(8000, 80, 10, Constant(49152, 16384)));
    EXPECT_EQ(peaks.count(), 2);
    EXPECT_EQ(v.DurationTime(), std::chrono::seconds(10));
}

TEST_F(ViewerSignalsTest, typedArgumentsReachAReceiverOnAnotherThread)
{
#if defined(__SANITIZE_THREAD__)
    // Qt hands a queued call's copied arguments over through its event queue,
    // locked by bare futexes inside the uninstrumented QtCore: every access on
    // the receiving side looks unsynchronised to ThreadSanitizer.
    GTEST_SKIP() << "Qt's event queue is invisible to ThreadSanitizer";
#endif
    QThread thread;
    QObject receiver;
    receiver.moveToThread(&thread);
    thread.start();
    std::atomic<bool> ranThere{false};
    std::atomic<int> x{0};
    std::atomic<uint32_t> shift{0};
    QObject::connect(&v, &TKXCustomPeakViewer::mouseDown, &receiver,
                     [&](TMouseButton, TShiftState s, int atX, int) {
                         ranThere = QThread::currentThread() == &thread;
                         shift = s.Bits();
                         x = atX;
                     });
    QTest::mousePress(&v, Qt::LeftButton, Qt::AltModifier, QPoint(33, 20));
    ASSERT_TRUE(QTest::qWaitFor([&] { return x.load() == 33; }, 5000));
    EXPECT_TRUE(ranThere);
    EXPECT_TRUE(TShiftState::FromBits(shift).Contains(ssAlt));
    thread.quit();
    thread.wait();
}

// --- the effect viewer ---------------------------------------------------------

namespace {

class EffectViewerSignalsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetScreenCursor(0);
        Prepare(v, 400, 200);
        // 4 s at 100 peaks a second: PointRange 400, the whole track in view.
        Load(v, Stereo16(8000, 80, 4, Constant(40000, 30000)));
        mid = v.YAtValue(0, ecBoth);
    }
    void TearDown() override { SetScreenCursor(0); }

    TKXPeakEffectViewer v;
    int mid = 0;
};

} // namespace

TEST_F(EffectViewerSignalsTest, pointEventsSignalWithTheHandlersAnswer)
{
    QSignalSpy added(&v, &TKXPeakEffectViewer::pointNew);
    QSignalSpy deleted(&v, &TKXPeakEffectViewer::pointDelete);
    QSignalSpy changed(&v, &TKXPeakEffectViewer::pointsChanged);
    v.OnPointNew = [](QObject*, TEffectType, TEffectChannel, int position, int, int, bool& allow) {
        allow = position != 7;
    };
    int index = -1;
    EXPECT_TRUE(v.AddPoint(fcB, ecLeft, index, 500, 10));
    EXPECT_FALSE(v.AddPoint(fcB, ecLeft, index, 500, 7));
    ASSERT_EQ(added.count(), 2);
    EXPECT_EQ(added.at(0).at(0).value<TEffectType>(), fcB);
    EXPECT_EQ(added.at(0).at(1).value<TEffectChannel>(), ecLeft);
    EXPECT_EQ(added.at(0).at(2).toInt(), 10);
    EXPECT_EQ(added.at(0).at(3).toInt(), 500);
    EXPECT_TRUE(added.at(0).at(5).toBool());
    EXPECT_FALSE(added.at(1).at(5).toBool());
    // Only the point that went in changed the list.
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<TEffectType>(), fcB);

    EXPECT_TRUE(v.DeletePoint(fcB, ecLeft, 0));
    ASSERT_EQ(deleted.count(), 1);
    EXPECT_EQ(deleted.at(0).at(4).toInt(), 0);
    EXPECT_TRUE(deleted.at(0).at(5).toBool());
    EXPECT_EQ(changed.count(), 2);
    v.ClearPoints(fcB);  // already empty: nothing changes
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(EffectViewerSignalsTest, mouseEditsNotifyPointsChanged)
{
    v.SetVisiblePoints({fcA});
    ASSERT_EQ(v.PointListOf(fcA)->size(), 2u);
    QSignalSpy changed(&v, &TKXPeakEffectViewer::pointsChanged);
    // A press on the flat line adds a point; a vertical drag sets its value.
    SendMouse(v, QEvent::MouseMove, QPoint(100, mid), Qt::NoButton, Qt::NoButton);
    SendMouse(v, QEvent::MouseButtonPress, QPoint(100, mid), Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(v.PointListOf(fcA)->size(), 3u);
    ASSERT_EQ(changed.count(), 1);
    SendMouse(v, QEvent::MouseButtonRelease, QPoint(100, mid), Qt::LeftButton, Qt::NoButton);
    SendMouse(v, QEvent::MouseMove, QPoint(100, mid), Qt::NoButton, Qt::NoButton);
    SendMouse(v, QEvent::MouseButtonPress, QPoint(100, mid), Qt::LeftButton, Qt::LeftButton);
    SendMouse(v, QEvent::MouseMove, QPoint(100, mid + 4), Qt::NoButton, Qt::LeftButton);
    SendMouse(v, QEvent::MouseMove, QPoint(100, mid + 30), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ((*v.PointListOf(fcA))[1].Value, v.ValueAtY(mid + 30, ecBoth));
    EXPECT_GE(changed.count(), 2);
    for (const auto& args : changed)
        EXPECT_EQ(args.at(0).value<TEffectType>(), fcA);
}

TEST_F(EffectViewerSignalsTest, effectPropertiesRoundTripAndRefusalsReportError)
{
    QSignalSpy error(&v, &TKXCustomPeakViewer::error);
    v.setProperty("focusedType", int(fcC));
    EXPECT_EQ(v.FocusedType(), fcC);
    v.setProperty("visiblePoints", 0b101);
    EXPECT_EQ(v.VisiblePoints(), (TEffectTypes{fcA, fcC}));
    EXPECT_EQ(v.property("visiblePoints").toInt(), 0b101);
    v.setProperty("singlePointLevel", false);
    EXPECT_FALSE(v.SinglePointLevel());
    v.setProperty("effectColorB", QColor(1, 2, 3));
    EXPECT_EQ(v.EffectPoints().ColorB(), 0x030201);
    v.EffectPoints().SetColorC(clHighlight);
    EXPECT_EQ(v.property("effectColorC").value<QColor>(), v.palette().color(QPalette::Highlight));
    v.setProperty("effectMaxA", 1000);
    v.setProperty("effectMinA", -1000);
    EXPECT_EQ(v.EffectPoints().MaxA(), 1000);
    EXPECT_EQ(v.property("effectMinA").toInt(), -1000);
    EXPECT_EQ(error.count(), 0);

    v.setProperty("focusedType", 3);
    EXPECT_EQ(v.FocusedType(), fcC);
    EXPECT_EQ(LastError(error), "FocusedType must be fcA, fcB or fcC");
    v.setProperty("visiblePoints", 8);
    EXPECT_EQ(LastError(error), "VisiblePoints may hold fcA, fcB and fcC only");
    v.setProperty("effectMaxB", 40000);
    EXPECT_EQ(v.EffectPoints().MaxB(), 32767);
    EXPECT_EQ(LastError(error), "Value must be between -32767 and 32767");
    v.setProperty("effectMinA", 2000);
    EXPECT_EQ(v.EffectPoints().MinA(), -1000);
    EXPECT_EQ(LastError(error), "Min must be below Max (1000)");
    // Points exist (visible types got their lines): stereo effects are locked.
    ASSERT_FALSE(v.PointListOf(fcA)->empty());
    v.setProperty("stereoEffects", true);
    EXPECT_FALSE(v.StereoEffects());
    EXPECT_EQ(LastError(error), "Cannot change stereo effects when points are populated");
    EXPECT_EQ(error.count(), 5);
}

} // namespace kx
