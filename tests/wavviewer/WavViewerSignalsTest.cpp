#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

#include "platform/widgets/HorzScrollBar.h"
#include "platform/widgets/MessageBox.h"
#include "platform/QtInput.h"
#include "tests/support/TestMedia.h"
#include "wavviewer/WavViewer.h"
#include "wavviewer/WaveDevice.h"

namespace kx {

namespace {

QString LastError(const QSignalSpy& spy)
{
    return spy.isEmpty() ? QString() : spy.constLast().at(0).toString();
}

class WavViewerSignalsTest : public ::testing::Test
{
protected:
    void SetUp() override { WaveDevice::SetForceFakeAudioSink(true); }

    // A mono 16-bit tone of `seconds` at 8000 Hz.
    QString Tone(double seconds)
    {
        const QString path = dir.filePath(QStringLiteral("tone%1.wav").arg(++files));
        TestMedia::WavFormat format{8000, 1, 16, static_cast<int64_t>(seconds * 8000)};
        EXPECT_TRUE(TestMedia::WriteWav(path, format, TestMedia::Sine(440, 0.5, 8000)));
        return path;
    }
    // A shown viewer whose peak area is 400 pixels wide.
    std::unique_ptr<TWavViewer> Viewer()
    {
        auto v = std::make_unique<TWavViewer>();
        v->resize(v->InfoWidth() + 400, 200);
        v->show();
        QApplication::processEvents();
        v->SetSavePeaks(false);
        return v;
    }
    // A viewer on a 10 s tone with 2 s in view: 2000 records, 400 in view.
    std::unique_ptr<TWavViewer> Loaded()
    {
        auto v = Viewer();
        v->SetSecondsToShow(2);
        v->SetFileName(Tone(10));
        EXPECT_TRUE(v->BuildPeaks());
        return v;
    }
    static void SendKey(QWidget& w, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text)
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(&w, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(&w, &release);
    }
    static void Send(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button)
    {
        QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, button, Qt::NoModifier);
        QApplication::sendEvent(&w, &e);
    }

    QTemporaryDir dir;
    int files = 0;
    ScopedMessageCapture messages;
};

} // namespace

TEST_F(WavViewerSignalsTest, buildAndInputEventsSignalAfterTheirHandlers)
{
    auto v = Viewer();
    QStringList order;
    v->OnBuildingPeaks = [&](QObject*, int, float, bool&) { order << "handler"; };
    QObject::connect(v.get(), &TWavViewer::buildingPeaks, [&] { order << "signal"; });
    QSignalSpy building(v.get(), &TWavViewer::buildingPeaks);
    v->SetSecondsToShow(2);
    v->SetFileName(Tone(10));
    ASSERT_TRUE(v->BuildPeaks());
    ASSERT_GE(building.count(), 1);
    EXPECT_EQ(order.mid(0, 2), (QStringList{"handler", "signal"}));
    EXPECT_FLOAT_EQ(building.constLast().at(1).toFloat(), 1.0f);
    EXPECT_EQ(building.constLast().at(0).toInt(), 10 * 8000 * 2);

    QSignalSpy button(v.get(), &TWavViewer::buttonDown);
    const int x0 = v->InfoWidth();
    const int y0 = v->InfoHeight();
    Send(*v, QEvent::MouseButtonPress, QPoint(x0 + 50, y0 + 20), Qt::LeftButton);
    Send(*v, QEvent::MouseButtonPress, QPoint(x0 + 60, y0 + 30), Qt::RightButton);
    ASSERT_EQ(button.count(), 2);
    EXPECT_TRUE(button.at(0).at(0).toBool());
    EXPECT_EQ(button.at(0).at(1).toInt(), x0 + 50);
    EXPECT_FALSE(button.at(1).at(0).toBool());
    EXPECT_EQ(button.at(1).at(2).toInt(), y0 + 30);

    v->OnKeyDown = [](QObject*, uint16_t& key, TShiftState) { key = VK_SPACE; };
    v->OnKeyPress = [](QObject*, QChar& key) { key = QLatin1Char('z'); };
    QSignalSpy down(v.get(), &TWavViewer::keyDown);
    QSignalSpy press(v.get(), &TWavViewer::keyPress);
    QSignalSpy up(v.get(), &TWavViewer::keyUp);
    SendKey(*v, Qt::Key_Q, Qt::ShiftModifier, QStringLiteral("Q"));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down.at(0).at(0).toInt(), int(VK_SPACE));
    EXPECT_TRUE(down.at(0).at(1).value<TShiftState>().Contains(ssShift));
    ASSERT_EQ(press.count(), 1);
    EXPECT_EQ(press.at(0).at(0).value<QChar>(), QLatin1Char('z'));
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up.at(0).at(0).toInt(), 'Q');

    QSignalSpy enter(v.get(), &TWavViewer::enter);
    QSignalSpy exit(v.get(), &TWavViewer::exit);
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(v.get(), &in);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(v.get(), &out);
    EXPECT_EQ(enter.count(), 1);
    EXPECT_EQ(exit.count(), 1);

    v->OnScroll = [](QObject*, int, int& pos) { pos = 7; };
    QSignalSpy scrolled(v.get(), &TWavViewer::scrolled);
    v->ScrollBar()->Request(SB_PAGERIGHT);
    ASSERT_EQ(scrolled.count(), 1);
    EXPECT_EQ(scrolled.at(0).at(0).toInt(), int(SB_PAGERIGHT));
    EXPECT_EQ(scrolled.at(0).at(1).toInt(), 7);
}

TEST_F(WavViewerSignalsTest, paintSignalsHandTheirPainterAndPanel)
{
    auto v = Loaded();
    int paints = 0;
    QObject::connect(v.get(), &TWavViewer::paint, [&](QPainter& p) {
        EXPECT_TRUE(p.isActive());
        ++paints;
    });
    std::vector<QWidget*> panels;
    QObject::connect(v.get(), &TWavViewer::paintHorzInfo, [&](QWidget* panel, QPainter& p) {
        EXPECT_TRUE(p.isActive());
        panels.push_back(panel);
    });
    QObject::connect(v.get(), &TWavViewer::paintVertInfo, [&](QWidget* panel, QPainter&) { panels.push_back(panel); });
    v->repaint();
    EXPECT_GE(paints, 1);
    panels.clear();
    v->LeftPanel()->repaint();
    v->TopPanel()->repaint();
    EXPECT_EQ(panels, (std::vector<QWidget*>{v->LeftPanel(), v->TopPanel()}));
}

TEST_F(WavViewerSignalsTest, settingsRoundTripThroughTheirProperties)
{
    auto v = Viewer();
    QSignalSpy error(v.get(), &TWavViewer::error);
    v->setProperty("savePeaks", true);
    EXPECT_TRUE(v->SavePeaks());
    v->setProperty("peaksFileExt", QStringLiteral("wave"));
    EXPECT_EQ(v->PeaksFileExt(), ".wav");
    v->setProperty("secondsToShow", 12);
    EXPECT_EQ(v->SecondsToShow(), 12);
    EXPECT_EQ(v->SmallChangeSeconds(), 10);
    v->setProperty("largeChangeSeconds", 11);
    EXPECT_EQ(v->property("largeChangeSeconds").toInt(), 11);
    v->setProperty("smallChangeSeconds", 3);
    EXPECT_EQ(v->SmallChangeSeconds(), 3);
    v->setProperty("marksInterval", 5);
    EXPECT_EQ(v->MarksInterval(), 5);
    v->setProperty("infoBevelInner", int(bvLowered));
    EXPECT_EQ(v->InfoBevelInner(), bvLowered);
    EXPECT_EQ(v->TopPanel()->BevelInner(), bvLowered);
    v->setProperty("infoBorderStyle", int(bsSingle));
    EXPECT_EQ(v->property("infoBorderStyle").toInt(), int(bsSingle));
    v->setProperty("infoBevelWidth", 3);
    EXPECT_EQ(v->InfoBevelWidth(), 3);
    v->setProperty("infoWidth", 50);
    EXPECT_EQ(v->InfoWidth(), 50);
    v->setProperty("autoLoop", true);
    EXPECT_TRUE(v->AutoLoop());
    v->setProperty("playingInterval", 40);
    EXPECT_EQ(v->PlayingInterval(), 40);
    v->setProperty("cursorPosition", 2500);
    EXPECT_EQ(v->PositionTime(), std::chrono::milliseconds(2500));

    // Colours: written as QColor, kept as TColor; the panels' system colour
    // reads resolved through the palette.
    EXPECT_EQ(v->property("infoBackColor").value<QColor>(), v->palette().color(QPalette::Button));
    v->setProperty("marksColor", QColor(0xAA, 0xBB, 0xCC));
    EXPECT_EQ(v->MarksColor(), 0xCCBBAA);
    v->setProperty("infoBackColor", QColor(Qt::white));
    EXPECT_EQ(v->TopPanel()->Color(), clWhite);
    EXPECT_EQ(v->property("pointerColor").value<QColor>(), QColor(Qt::black));
    EXPECT_EQ(v->property("color").value<QColor>(), QColor(Qt::yellow));
    EXPECT_EQ(error.count(), 0);
}

TEST_F(WavViewerSignalsTest, refusedWritesKeepTheValueAndReportError)
{
    auto v = Viewer();
    QSignalSpy error(v.get(), &TWavViewer::error);
    const QString limit = QString::number(v->MarksIntervalLimit());
    v->setProperty("marksInterval", 1);
    EXPECT_EQ(v->MarksInterval(), 7);
    EXPECT_EQ(LastError(error), "Marks interval must be between 2 and " + limit);
    v->setProperty("secondsToShow", 0);
    v->setProperty("secondsToShow", 256);
    EXPECT_EQ(v->SecondsToShow(), 30);
    EXPECT_EQ(LastError(error), "SecondsToShow must be between 1 and 255");
    v->setProperty("smallChangeSeconds", 40);
    EXPECT_EQ(v->SmallChangeSeconds(), 10);
    EXPECT_EQ(LastError(error),
              "SmallChangeSeconds must be above 0 and below LargeChangeSeconds (40) and SecondsToShow (30)");
    v->setProperty("largeChangeSeconds", 300);
    EXPECT_EQ(LastError(error), "LargeChangeSeconds must be between 0 and 255");
    v->setProperty("infoBevelOuter", 4);
    EXPECT_EQ(v->InfoBevelOuter(), bvRaised);
    EXPECT_EQ(LastError(error), "InfoBevelOuter must be bvNone, bvLowered, bvRaised or bvSpace");
    v->setProperty("infoBorderStyle", -1);
    EXPECT_EQ(LastError(error), "InfoBorderStyle must be bsNone or bsSingle");
    EXPECT_EQ(error.count(), 7);

    // A file that is not a WAV: the viewer keeps its file.
    const QString wav = Tone(1);
    v->setProperty("fileName", wav);
    const QString text = dir.filePath("notes.wav");
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("just some text, no RIFF header at all");
    f.close();
    v->setProperty("fileName", text);
    EXPECT_EQ(v->FileName(), wav);
    EXPECT_EQ(LastError(error), "Invalid file");
    EXPECT_EQ(error.count(), 8);
}

TEST_F(WavViewerSignalsTest, userInputAndLoadsNotify)
{
    auto v = Viewer();
    QSignalSpy file(v.get(), &TWavViewer::fileNameChanged);
    QSignalSpy peaks(v.get(), &TWavViewer::peaksChanged);
    QSignalSpy zoom(v.get(), &TWavViewer::secondsToShowChanged);
    v->setProperty("secondsToShow", 2);
    ASSERT_EQ(zoom.count(), 1);
    EXPECT_EQ(zoom.at(0).at(0).toInt(), 2);
    const QString path = Tone(10);
    v->SetFileName(path);
    ASSERT_EQ(file.count(), 1);
    EXPECT_EQ(file.at(0).at(0).toString(), path);
    ASSERT_TRUE(v->BuildPeaks());
    EXPECT_EQ(peaks.count(), 1);
    EXPECT_EQ(v->property("peakCount").toLongLong(), 2000);
    EXPECT_EQ(v->DurationTime(), std::chrono::seconds(10));

    QSignalSpy cursor(v.get(), &TWavViewer::cursorPositionChanged);
    QSignalSpy scroll(v.get(), &TWavViewer::scrollPositionChanged);
    QTest::mouseClick(v.get(), Qt::LeftButton, Qt::NoModifier, QPoint(v->InfoWidth() + 100, v->InfoHeight() + 20));
    ASSERT_EQ(cursor.count(), 1);
    const int clicked = v->Position();
    EXPECT_EQ(cursor.at(0).at(0).toInt(), clicked);
    EXPECT_EQ(clicked, 500);  // 100 of 400 columns over 2 s
    QTest::keyClick(v.get(), Qt::Key_Left);
    ASSERT_EQ(cursor.count(), 2);
    EXPECT_EQ(cursor.at(1).at(0).toInt(), clicked - 40);

    // Lines and pages are both 2 s (400 records) with 2 s in view.
    QScrollBar* bar = v->ScrollBar()->Bar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() - 3, bar->height() / 2));
    ASSERT_EQ(scroll.count(), 1);
    EXPECT_EQ(scroll.at(0).at(0).toInt(), v->ScrollPos());
    EXPECT_EQ(v->ScrollPos(), 400);
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() - 40, bar->height() / 2));
    EXPECT_EQ(scroll.count(), 2);
    EXPECT_EQ(v->property("scrollPosition").toInt(), 800);

    // Closing the file drops the records.
    v->SetFileName(QString());
    EXPECT_EQ(file.count(), 2);
    EXPECT_EQ(peaks.count(), 2);
    EXPECT_EQ(scroll.count(), 3);
    EXPECT_EQ(v->ScrollPos(), 0);
}

TEST_F(WavViewerSignalsTest, playTicksSignalOnTheViewersThreadAndReachOtherThreadsQueued)
{
    auto v = Viewer();
    v->SetSecondsToShow(1);
    v->SetFileName(Tone(0.5));
    ASSERT_TRUE(v->BuildPeaks());
    v->SetPlayingInterval(20);
    std::vector<int> handled;
    v->OnPlaying = [&](QObject*, int, int pos) { handled.push_back(pos); };
    QSignalSpy playing(v.get(), &TWavViewer::playing);
    QSignalSpy position(v.get(), &TWavViewer::playPositionChanged);

    QThread thread;
    QObject receiver;
    receiver.moveToThread(&thread);
    thread.start();
    std::atomic<int> received{0};
    std::atomic<bool> ranThere{true};
    QObject::connect(v.get(), &TWavViewer::playing, &receiver, [&](int timerId, int) {
        ranThere = ranThere && QThread::currentThread() == &thread && timerId == TWavViewer::PlayTimerId;
        ++received;
    });

    v->Play(std::chrono::milliseconds(100));
    ASSERT_TRUE(v->PlayTimerActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !v->PlayTimerActive(); }, 5000));
    ASSERT_GE(playing.count(), 2);
    ASSERT_EQ(static_cast<size_t>(playing.count()), handled.size());
    for (int i = 0; i < playing.count(); ++i) {
        EXPECT_EQ(playing.at(i).at(0).toInt(), TWavViewer::PlayTimerId);
        EXPECT_EQ(playing.at(i).at(1).toInt(), handled[static_cast<size_t>(i)]);
    }
    // Started at 100 ms, never before it.
    EXPECT_GE(handled.front(), 100);
    ASSERT_GE(position.count(), 1);
    EXPECT_EQ(position.constLast().at(0).toInt(), handled.back());
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.load() == playing.count(); }, 5000));
    EXPECT_TRUE(ranThere);
    thread.quit();
    thread.wait();

    v->Stop();
    EXPECT_EQ(v->PlayPositionTime(), std::chrono::milliseconds(v->PlayPosition()));
    EXPECT_EQ(v->property("playPosition").toInt(), v->PlayPosition());
}

} // namespace kx
