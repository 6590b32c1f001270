#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/HorzScrollBar.h"
#include "platform/MemoryStream.h"
#include "platform/QtInput.h"
#include "platform/Round.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/PeakRender.h"

using namespace PeakTestData;

namespace {

QRgb Rgb(TColor c)
{
    return ToQColor(c).rgb();
}

class PeakViewerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Prepare(v, 400, 200);
        v.OnPaint = [this](QObject*, TCanvas&) { ++paints; };
    }

    QString File(const QString& name, const std::vector<uint8_t>& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(Write(path, bytes));
        return path;
    }

    bool LoadStream(const std::vector<uint8_t>& bytes)
    {
        TMemoryStream s;
        s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        return v.LoadFromStream(&s);
    }

    // 60 s at 8000 Hz with 80 frames per peak: 100 peaks a second.
    std::vector<uint8_t> Minute(const Generator& gen = Constant(49152, 16384))
    {
        return Stereo16(8000, 80, 60, gen);
    }

    QRgb Pixel(int x, int y) const { return v.BufferImage().pixel(x, y); }
    int Q() const { return ComputeBands(v.Model(), v.ClientHeight()).q; }

    QTemporaryDir dir;
    TKXAudioPeakViewer v;
    int paints = 0;
};

TEST_F(PeakViewerTest, startsEmptyWithDocumentedDefaults)
{
    EXPECT_EQ(v.Color(), 0xC0C0C0);
    EXPECT_EQ(v.BorderColor(), 128);
    EXPECT_EQ(v.PeaksColor(), 0x800000);
    EXPECT_EQ(v.PositionColor(), 0x8000);
    EXPECT_EQ(v.PageSeconds(), 40);
    EXPECT_EQ(v.LineSeconds(), 10);
    EXPECT_EQ(v.VisibleSeconds(), 30);
    EXPECT_TRUE(v.AutoMove());
    EXPECT_EQ(v.PcmByteCount(), 0);
    EXPECT_FALSE(v.SetMark(0, 0));
    EXPECT_EQ(v.ClientHeight(), 200);
    EXPECT_EQ(v.BufferImage().size(), QSize(400, 200));
}

TEST_F(PeakViewerTest, fileAndStreamReadersApplyTheirAcceptanceRules)
{
    auto with = [](std::vector<uint8_t> bytes, int offset, uint8_t value) {
        bytes[static_cast<size_t>(offset)] = value;
        return bytes;
    };
    const auto good = Minute();
    auto rate = [&](uint32_t r) {
        auto b = good;
        b[6] = uint8_t(r);
        b[7] = uint8_t(r >> 8);
        b[8] = uint8_t(r >> 16);
        b[9] = 0;
        return b;
    };
    const auto bpp1 = Bytes(Header(8000, 2, 1, 80, 1), 100, Constant(200, 50));

    EXPECT_TRUE(v.LoadFromFile(File("bpp1.pek", bpp1)));
    EXPECT_FALSE(LoadStream(bpp1));
    EXPECT_TRUE(v.LoadFromFile(File("r8000.pek", rate(8000))));
    EXPECT_TRUE(LoadStream(rate(48000)));
    EXPECT_EQ(v.Model().SamplesPerSecond, 48000u);

    const int64_t pcm = v.PcmByteCount();
    const QImage before = v.BufferImage();
    const std::vector<std::vector<uint8_t>> refused = {
        std::vector<uint8_t>(good.begin(), good.begin() + 16),  // header only
        with(good, 14, 0),                                        // no samples per peak (low byte 80)
        with(good, 0, 'Q'),
        with(good, 4, 3),
        with(good, 5, 3),
        rate(7999),
        rate(48001),
    };
    for (size_t i = 0; i < refused.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(v.LoadFromFile(File(QStringLiteral("bad%1.pek").arg(i), refused[i])));
        EXPECT_FALSE(LoadStream(refused[i]));
    }
    EXPECT_FALSE(v.LoadFromFile(dir.filePath("missing.pek")));
    EXPECT_FALSE(v.LoadFromStream(nullptr));
    EXPECT_EQ(v.PcmByteCount(), pcm);
    EXPECT_EQ(v.Model().SamplesPerSecond, 48000u);
    EXPECT_EQ(v.BufferImage(), before);
}

TEST_F(PeakViewerTest, peaksFileNameLoadsOnceAndEmptyNameForgetsWithoutRepaint)
{
    const QString path = File("a.pek", Minute());
    v.SetPeaksFileName(path);
    EXPECT_EQ(v.PeaksFileName(), path);
    EXPECT_EQ(v.Model().PeakCount(), 6000);
    // Same name again: not reloaded even though the file changed.
    Write(path, Stereo16(8000, 80, 30, Constant(1, 1)));
    v.SetPeaksFileName(path);
    EXPECT_EQ(v.Model().PeakCount(), 6000);

    const int painted = paints;
    v.SetPeaksFileName(QString());
    EXPECT_EQ(v.PcmByteCount(), 0);
    EXPECT_TRUE(v.Model().PeakData.empty());
    EXPECT_EQ(paints, painted);

    v.SetPeaksFileName(path);
    EXPECT_EQ(v.Model().PeakCount(), 3000);
    v.SetPeaksFileName(dir.filePath("missing.pek"));
    EXPECT_TRUE(v.PeaksFileName().isEmpty());
    EXPECT_EQ(v.Model().PeakCount(), 3000);
}

TEST_F(PeakViewerTest, loadDerivesStepsAndPlayStepPercentAdjustsThem)
{
    // 400 columns × 1000 frames per peak / 44100 Hz = 9 s across the view.
    ASSERT_TRUE(LoadStream(Stereo16(44100, 1000, 60, Constant(40000, 30000))));
    EXPECT_EQ(v.VisibleSeconds(), 9);
    EXPECT_EQ(v.PageSeconds(), 9);
    EXPECT_EQ(v.LineSeconds(), 1);
    v.SetPlayStepPercent(50);
    EXPECT_EQ(v.PlayStepPercent(), 0);
    v.SetPlayStepPercent(20);
    EXPECT_EQ(v.PlayStepPercent(), 20);
    EXPECT_EQ(v.PageSeconds(), 7);
    EXPECT_EQ(v.LineSeconds(), 1);
    v.SetPlayStepPercent(0);
    EXPECT_EQ(v.PageSeconds(), 7);

    v.SetTimeScaler(0.05f);
    EXPECT_FLOAT_EQ(v.TimeScaler(), 1.0f);
    const int painted = paints;
    v.SetTimeScaler(2.0f);
    EXPECT_FLOAT_EQ(v.TimeScaler(), 2.0f);
    EXPECT_EQ(paints, painted + 1);
}

TEST_F(PeakViewerTest, drawsEachChannelInItsHalfOverTheGrid)
{
    ASSERT_TRUE(LoadStream(Minute(Constant(49152, 16384))));
    const int q = Q();
    ASSERT_EQ(q, 50);
    const QRgb peaks = Rgb(v.PeaksColor()), border = Rgb(v.BorderColor()), back = Rgb(v.Color());
    // Left at three quarters of the upper band, right at a quarter of the lower one.
    const int leftY = 2 * q - 75, rightY = 4 * q - 25;
    for (int x : {5, 200, 390}) {
        EXPECT_EQ(Pixel(x, leftY), peaks) << x;
        EXPECT_EQ(Pixel(x, rightY), peaks) << x;
        EXPECT_EQ(Pixel(x, leftY + 10), back) << x;
        EXPECT_EQ(Pixel(x, rightY - 10), back) << x;
    }
    // Grid: centre lines one pixel, channel boundaries two.
    for (int s = 1; s <= 3; ++s) {
        EXPECT_EQ(Pixel(100, s * q), border) << s;
        EXPECT_EQ(Pixel(100, s * q - 1) == border, s % 2 == 0) << s;
        EXPECT_EQ(Pixel(100, s * q + 1), back) << s;
    }
    // Frame.
    EXPECT_EQ(Pixel(0, 120), border);
    EXPECT_EQ(Pixel(1, 120), border);
    EXPECT_EQ(Pixel(2, 120), back);
    EXPECT_EQ(Pixel(399, 120), border);
    EXPECT_EQ(Pixel(200, 199), border);
}

TEST_F(PeakViewerTest, zigzagsThroughBothValuesOfEveryColumn)
{
    // Left values 65535 then 0: each column's line spans the whole upper band.
    auto gen = [](int64_t, int ch) { return ch == 0 ? std::pair{65535u, 0u} : std::pair{32768u, 32768u}; };
    ASSERT_TRUE(LoadStream(Minute(gen)));
    const QRgb peaks = Rgb(v.PeaksColor());
    for (int y = 3; y < 99; y += 7)
        EXPECT_EQ(Pixel(150, y), peaks) << y;
    EXPECT_NE(Pixel(150, 130), peaks);
}

TEST_F(PeakViewerTest, timeScalerPicksEveryOtherPeakAndKeepsChannelsApart)
{
    // Even peaks high, odd peaks low on the left; the right is flat low.
    auto gen = [](int64_t p, int ch) {
        const uint32_t v = ch == 1 ? 8192u : (p % 2 == 0 ? 57344u : 8192u);
        return std::pair{v, v};
    };
    ASSERT_TRUE(LoadStream(Minute(gen)));
    const QRgb peaks = Rgb(v.PeaksColor());
    const int q = Q();
    const int highY = 2 * q - 88, lowY = 2 * q - 13;
    v.SetTimeScaler(2.0f);
    int high = 0, low = 0;
    for (int x = 10; x < 390; ++x) {
        high += Pixel(x, highY) == peaks;
        low += Pixel(x, lowY) == peaks;
    }
    EXPECT_EQ(high, 380);
    EXPECT_EQ(low, 0);
    for (int x = 10; x < 390; x += 17)
        EXPECT_EQ(Pixel(x, 4 * q - 13), peaks) << x;
}

TEST_F(PeakViewerTest, quarterScaleSpreadsEachPeakOverFourColumns)
{
    auto gen = [](int64_t p, int) {
        const uint32_t v = p % 2 == 0 ? 57344u : 8192u;
        return std::pair{v, v};
    };
    ASSERT_TRUE(LoadStream(Minute(gen)));
    v.SetTimeScaler(0.25f);
    const QRgb peaks = Rgb(v.PeaksColor());
    const int highY = 2 * Q() - 88;
    int64_t last = 0;
    for (int x = 1; x < 399; ++x) {
        const int64_t p = v.Model().PeakAtColumn(x);
        EXPECT_LE(p - last, 1) << x;  // no peak skipped
        last = p;
        // Inside a run of columns of one peak the level is that peak's.
        if (x > 2 && x < 397 && v.Model().PeakAtColumn(x - 1) == p && v.Model().PeakAtColumn(x + 1) == p) {
            EXPECT_EQ(Pixel(x, highY) == peaks, p % 2 == 0) << x;
        }
    }
    EXPECT_EQ(last, 100);
}

TEST_F(PeakViewerTest, monoAnd8BitDataDrawInTheirBands)
{
    const QRgb peaks = Rgb(v.PeaksColor());
    // Mono 16-bit: one channel over the whole height, two grid lines.
    ASSERT_TRUE(LoadStream(Bytes(Header(8000, 1, 4, 80, 60), 6000, Constant(49152, 0))));
    int q = Q();
    EXPECT_EQ(q, 100);
    EXPECT_EQ(Pixel(200, 2 * q - 150), peaks);
    EXPECT_EQ(Pixel(200, q), Rgb(v.BorderColor()));

    // 8-bit stereo.
    ASSERT_TRUE(LoadStream(Bytes(Header(8000, 2, 2, 80, 60), 6000, Constant(192, 64))));
    q = Q();
    EXPECT_EQ(q, 50);
    EXPECT_EQ(Pixel(200, 2 * q - 75), peaks);
    EXPECT_EQ(Pixel(200, 4 * q - 25), peaks);

    // One byte per channel, from a file.
    ASSERT_TRUE(v.LoadFromFile(File("b1.pek", Bytes(Header(8000, 2, 1, 80, 60), 6000, Constant(192, 64)))));
    EXPECT_EQ(Pixel(200, 2 * q - 75), peaks);
    EXPECT_EQ(Pixel(200, 4 * q - 25), peaks);
}

TEST_F(PeakViewerTest, tooLittleDataRunsFlatAtTheLastValue)
{
    // 100 peaks over 400 columns at TimeScaler 1.
    ASSERT_TRUE(LoadStream(Stereo16(8000, 80, 1, Constant(49152, 16384))));
    EXPECT_EQ(Pixel(350, 2 * Q() - 75), Rgb(v.PeaksColor()));
}

TEST_F(PeakViewerTest, nothingLoadedDrawsTwoChannelsOfGrid)
{
    ASSERT_TRUE(LoadStream(Bytes(Header(8000, 1, 4, 80, 60), 6000, Constant(57344, 0))));
    EXPECT_EQ(Pixel(200, 25), Rgb(v.PeaksColor()));
    v.Clear();
    const int q = Q();
    EXPECT_EQ(q, 50);
    const QRgb border = Rgb(v.BorderColor()), back = Rgb(v.Color());
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(Pixel(200, s * q), border) << s;
    EXPECT_EQ(Pixel(200, 25), back);  // no peaks
}

TEST_F(PeakViewerTest, markedRangeShadesItsColumnsBehindThePeaks)
{
    ASSERT_TRUE(LoadStream(Minute(Constant(40000, 40000))));
    EXPECT_FALSE(v.SetMark(5000, 5000));
    EXPECT_FALSE(v.SetMark(-1, 10));
    EXPECT_TRUE(v.SetMark(3000, 7000));
    const QRgb mark = Rgb(v.MarkColor()), back = Rgb(v.Color());
    // 100 peaks a second: columns 300 to 699 at scroll 0; the view shows 0..399.
    EXPECT_EQ(Pixel(299, 30), back);
    EXPECT_EQ(Pixel(300, 30), mark);
    EXPECT_EQ(Pixel(397, 30), mark);
    EXPECT_EQ(Pixel(300, 39), Rgb(v.PeaksColor()));

    v.ScrollToSeconds(5);
    EXPECT_EQ(v.ScrollPos(), 500);
    EXPECT_EQ(Pixel(150, 30), mark);
    EXPECT_EQ(Pixel(200, 30), back);

    EXPECT_TRUE(v.SetMark(0, 0));
    EXPECT_EQ(Pixel(150, 30), back);
}

TEST_F(PeakViewerTest, cursorLineHasSevenPixelBoxesAtBothEnds)
{
    ASSERT_TRUE(LoadStream(Minute(Constant(32768, 32768))));
    v.SetPaintCursor(true);
    QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(100, 60));
    EXPECT_EQ(v.Position(), 1000);
    const QRgb pos = Rgb(v.PositionColor()), back = Rgb(v.Color());
    const int h = v.ClientHeight();
    for (int x = 97; x <= 103; ++x) {
        EXPECT_EQ(Pixel(x, 2), pos) << x;
        EXPECT_EQ(Pixel(x, h - 3), pos) << x;
    }
    EXPECT_EQ(Pixel(96, 2), back);
    EXPECT_EQ(Pixel(104, 2), back);
    EXPECT_EQ(Pixel(100, 30), pos);
    EXPECT_EQ(Pixel(103, 30), back);

    v.SetPaintCursor(false);
    v.SetColor(clWhite);
    EXPECT_EQ(Pixel(100, 30), Rgb(clWhite));
}

TEST_F(PeakViewerTest, onPaintDrawsOverPeaksAndFrame)
{
    ASSERT_TRUE(LoadStream(Minute()));
    v.OnPaint = [](QObject*, TCanvas& c) { c.fillRect(QRect(0, 0, 10, 10), Qt::red); };
    v.SetPeaksColor(clTeal);
    EXPECT_EQ(Pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(Pixel(5, 5), qRgb(255, 0, 0));
}

TEST_F(PeakViewerTest, scrollRequestsStepByTimeAndClampToTheRange)
{
    ASSERT_TRUE(LoadStream(Stereo16(44100, 1102, 600, Constant(40000, 30000))));
    HorzScrollBar* bar = v.ScrollBar();
    std::vector<std::pair<int, int>> seen;
    v.OnScroll = [&](QObject* sender, int code, int& pos) {
        EXPECT_EQ(sender, &v);
        seen.emplace_back(code, pos);
        pos = 12345;  // ignored
    };
    const int64_t line = v.Model().PeakAtMs(v.LineSeconds() * 1000);
    const int64_t page = v.Model().PeakAtMs(v.PageSeconds() * 1000);
    EXPECT_NEAR(double(line) / v.LineSeconds(), 40, 0.1);

    bar->Request(SB_LINERIGHT);
    EXPECT_EQ(v.ScrollPos(), line);
    bar->Bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(v.ScrollPos(), line + page);
    bar->Request(SB_LINELEFT);
    bar->Request(SB_PAGELEFT);
    EXPECT_EQ(v.ScrollPos(), 0);
    bar->Request(SB_PAGELEFT);
    EXPECT_EQ(v.ScrollPos(), 0);
    bar->Request(SB_THUMBTRACK, 777);
    EXPECT_EQ(v.ScrollPos(), 777);
    bar->Request(SB_RIGHT);
    EXPECT_EQ(v.ScrollPos(), bar->State().MaxPos());
    EXPECT_EQ(bar->Bar()->value(), bar->State().MaxPos());

    const int painted = paints;
    bar->Request(SB_ENDSCROLL);
    EXPECT_EQ(paints, painted);
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen[0], std::make_pair(int(SB_LINERIGHT), 0));
    EXPECT_EQ(seen[1].first, int(SB_PAGERIGHT));
    EXPECT_EQ(seen[5], std::make_pair(int(SB_THUMBTRACK), 777));
    EXPECT_EQ(seen[7].first, int(SB_ENDSCROLL));

    // A resize returns the view to the start.
    v.resize(500, v.height());
    EXPECT_EQ(v.ScrollPos(), 0);
}

TEST_F(PeakViewerTest, scrolledViewShowsLaterPeaks)
{
    auto gen = [](int64_t p, int) {
        const uint32_t v = p < 1000 ? 8192u : 57344u;
        return std::pair{v, v};
    };
    ASSERT_TRUE(LoadStream(Minute(gen)));
    const int highY = 2 * Q() - 88;
    EXPECT_NE(Pixel(200, highY), Rgb(v.PeaksColor()));
    v.ScrollToSeconds(10);
    EXPECT_EQ(v.ScrollPos(), 1000);
    EXPECT_EQ(Pixel(200, highY), Rgb(v.PeaksColor()));
    // A very late second clamps to the end instead of wrapping to the start.
    v.ScrollToSeconds(3000000000LL);
    EXPECT_EQ(v.ScrollPos(), v.ScrollBar()->State().MaxPos());
}

TEST_F(PeakViewerTest, arrowKeysStepTheCursorOnlyWhileItIsInView)
{
    ASSERT_TRUE(LoadStream(Minute()));
    std::vector<uint16_t> keys;
    v.OnKeyDown = [&](QObject*, uint16_t& key, TShiftState) { keys.push_back(key); };
    int painted = paints;
    QTest::keyClick(&v, Qt::Key_Right);  // Position 0 is not inside the view
    EXPECT_EQ(v.Position(), 0);
    EXPECT_EQ(paints, painted);

    QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(50, 20));
    EXPECT_TRUE(v.hasFocus());
    EXPECT_EQ(v.Position(), 500);
    QTest::keyClick(&v, Qt::Key_Right);
    EXPECT_EQ(v.Position(), 540);
    QTest::keyClick(&v, Qt::Key_Left);
    QTest::keyClick(&v, Qt::Key_Left);
    EXPECT_EQ(v.Position(), 460);
    painted = paints;
    QTest::keyClick(&v, Qt::Key_A);  // any key repaints while the cursor is in view
    EXPECT_EQ(paints, painted + 1);
    EXPECT_EQ(keys, (std::vector<uint16_t>{VK_RIGHT, VK_RIGHT, VK_LEFT, VK_LEFT, uint16_t('A')}));

    v.SetDesigning(true);
    QTest::keyClick(&v, Qt::Key_Right);
    EXPECT_EQ(v.Position(), 460);
}

TEST_F(PeakViewerTest, clickRaisesMouseDownBeforeMovingTheCursor)
{
    ASSERT_TRUE(LoadStream(Minute()));
    v.ScrollToSeconds(20);
    int64_t positionSeen = -1;
    v.OnMouseDown = [&](QObject*, TMouseButton b, TShiftState, int x, int) {
        EXPECT_EQ(b, mbLeft);
        EXPECT_EQ(x, 0);
        positionSeen = v.Position();
    };
    QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(0, 20));
    EXPECT_EQ(positionSeen, 0);
    EXPECT_EQ(v.Position(), 20000);  // the time of peak S
    EXPECT_EQ(v.TimeAtPixel(0), 20000);
}

TEST_F(PeakViewerTest, mouseEnterAndLeaveRaiseEnterAndExit)
{
    int enters = 0, exits = 0;
    v.OnEnter = [&](QObject*) { ++enters; };
    v.OnExit = [&](QObject*) { ++exits; };
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&v, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&v, &leave);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(exits, 1);
}

class PlayPointerTest : public PeakViewerTest
{
protected:
    void SetUp() override
    {
        PeakViewerTest::SetUp();
        ASSERT_TRUE(LoadStream(Minute(Constant(32768, 32768))));
        v.SetPointerColor(clBlack);
    }
    static int64_t At(int ms) { return int64_t(ms) * 10000; }
    QRgb Shown(int x, int y) const { return v.WindowImage().pixel(x, y); }
};

TEST_F(PlayPointerTest, pointerFollowsTheTimeAndErasesItsOldColumn)
{
    const QRgb back = Rgb(v.Color());
    v.SetPlayTime(At(1000));
    EXPECT_EQ(v.PointerX(), 100);
    EXPECT_EQ(v.ScrollPos(), 0);
    // Not-xor with black inverts what lies below.
    EXPECT_EQ(Shown(100, 30), (~back) | 0xFF000000u);
    v.SetPlayTime(At(1500));
    EXPECT_EQ(v.PointerX(), 150);
    EXPECT_EQ(Shown(100, 30), back);
    EXPECT_NE(Shown(150, 30), back);
    // The buffer itself never holds the pointer.
    EXPECT_EQ(Pixel(150, 30), back);

    // A full repaint forgets it.
    v.SetTimeScaler(1.5f);
    EXPECT_EQ(v.PointerX(), 0);
    EXPECT_EQ(Shown(150, 30), back);
}

TEST_F(PlayPointerTest, atTheDurationNothingHappens)
{
    v.SetPlayTime(At(1000));
    v.SetPlayTime(At(60000));
    EXPECT_EQ(v.PointerX(), 100);
}

TEST_F(PlayPointerTest, pagesWhenThePointerPassesTheThreshold)
{
    int painted = paints;
    v.SetPlayTime(At(4000));
    // Column 400 is not past the threshold (400) but lies off the client: forgotten.
    EXPECT_EQ(v.PointerX(), 0);
    EXPECT_EQ(v.ScrollPos(), 0);
    EXPECT_EQ(paints, painted);

    v.SetPlayTime(At(4010));
    // Jump = PeakAtMs(PageSeconds × 1000) with the page clamped by the scroll bar's range.
    EXPECT_EQ(v.ScrollPos(), std::min<int64_t>(v.Model().PeakAtMs(v.PageSeconds() * 1000),
                                               v.ScrollBar()->State().MaxPos()));
    EXPECT_EQ(v.PointerX(), 0);
    EXPECT_EQ(paints, painted + 1);
}

TEST_F(PlayPointerTest, playStepPercentPagesEarlierWithASmallerJump)
{
    v.SetPlayStepPercent(49);
    const int page = v.PageSeconds();
    v.SetPlayTime(At(2050));  // column 205 > Round(400 × 0.51) = 204
    EXPECT_EQ(v.ScrollPos(), v.Model().PeakAtMs(Round(page * 0.51 * 1000)));
    v.SetPlayTime(At(2050));
    EXPECT_EQ(v.PointerX(), 205 - v.ScrollPos());
}

TEST_F(PlayPointerTest, withoutAutoMoveAPointerOffTheRightForgetsItself)
{
    v.SetAutoMove(false);
    v.SetPlayTime(At(1000));
    v.SetPlayTime(At(5000));
    EXPECT_EQ(v.PointerX(), 0);
    EXPECT_EQ(v.ScrollPos(), 0);
    EXPECT_EQ(Shown(100, 30), Rgb(v.Color()));
}

} // namespace
