#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <random>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/widgets/HorzScrollBar.h"
#include "platform/MemoryStream.h"
#include "platform/QtInput.h"
#include "platform/Round.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/PeakRender.h"

namespace kx {

using namespace PeakTestData;

namespace {

QRgb Rgb(TColor c)
{
    return ToQColor(c).rgb();
}

// Level 57344 sits 88 px above a 100-px channel band's bottom, 8192 13 px above.
constexpr uint32_t High = 57344, Low = 8192;

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
    static std::vector<uint8_t> Minute(const Generator& gen = Constant(49152, 16384))
    {
        return Stereo16(8000, 80, 60, gen);
    }
    QRgb Pixel(int x, int y) const { return v.BufferImage().pixel(x, y); }
    int Q() const { return ComputeBands(v.Model(), v.ClientHeight()).q; }

    QTemporaryDir dir;
    TKXAudioPeakViewer v;
    int paints = 0;
};

TEST_F(PeakViewerTest, fileAndStreamReadersRefuseBadHeadersAndKeepThePicture)
{
    const auto good = Minute();
    auto with = [&](size_t offset, std::initializer_list<uint8_t> bytes) {
        auto b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(offset));
        return b;
    };
    const auto bpp1 = Bytes(Header(8000, 2, 1, 80, 1), 100, Constant(200, 50));
    EXPECT_TRUE(v.LoadFromFile(File("bpp1.pek", bpp1)));
    EXPECT_FALSE(LoadStream(bpp1));
    EXPECT_TRUE(v.LoadFromFile(File("r8000.pek", with(6, {0x40, 0x1F, 0, 0}))));
    EXPECT_TRUE(LoadStream(with(6, {0x80, 0xBB, 0, 0})));  // 48000
    const QImage before = v.BufferImage();
    const std::vector<std::vector<uint8_t>> refused = {
        {good.begin(), good.begin() + 16}, with(14, {0, 0}), with(0, {'Q'}), with(4, {3}), with(5, {3}),
        with(6, {0x3F, 0x1F, 0, 0}) /* 7999 */, with(6, {0x81, 0xBB, 0, 0}) /* 48001 */,
    };
    for (size_t i = 0; i < refused.size(); ++i) {
        EXPECT_FALSE(v.LoadFromFile(File(QStringLiteral("bad%1.pek").arg(i), refused[i]))) << i;
        EXPECT_FALSE(LoadStream(refused[i])) << i;
    }
    EXPECT_FALSE(v.LoadFromFile(dir.filePath("missing.pek")));
    EXPECT_FALSE(v.LoadFromStream(nullptr));
    EXPECT_EQ(v.Model().SamplesPerSecond, 48000u);
    EXPECT_EQ(v.BufferImage(), before);
}

TEST_F(PeakViewerTest, damagedDataNeverReadsOutOfBounds)
{
    // Every accepted layout and odd length, drawn zoomed in and out, scrolled and played.
    std::mt19937 rng(7);
    auto next = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    const int layouts[] = {1, 2, 4};
    for (int round = 0; round < 60; ++round) {
        std::vector<uint8_t> bytes(16 + next(200));
        for (auto& b : bytes)
            b = static_cast<uint8_t>(next(256));
        TPeakHeader h = Header(8000 + next(40001), 1 + int(next(2)), layouts[next(3)],
                               static_cast<uint16_t>(1 + next(2000)), 0);
        h.PcmByteCount = next(0xFFFFFFFFu);
        EncodePeakHeader(h, bytes.data());
        if (!LoadStream(bytes) && !v.LoadFromFile(File("fuzz.pek", bytes)))
            continue;
        for (float ts : {0.1f, 1.0f, 7.5f}) {
            v.SetTimeScaler(ts);
            v.ScrollBar()->Request(SB_RIGHT);
            v.SetPlayTime(int64_t(next(100000)) * 10000);
            v.SetMark(0, int(next(1000)));
        }
        const auto whole = static_cast<int64_t>((bytes.size() - 16) / size_t(h.Channels * h.BytesPerPeak));
        EXPECT_GE(v.Model().PeakCount(), whole);
        EXPECT_LE(v.Model().PeakCount(), whole + 1);
    }
}

TEST_F(PeakViewerTest, peaksFileNameLoadsOnceAndEmptyNameForgetsWithoutRepaint)
{
    const QString path = File("a.pek", Minute());
    v.SetPeaksFileName(path);
    EXPECT_EQ(v.Model().PeakCount(), 6000);
    Write(path, Stereo16(8000, 80, 30, Constant(1, 1)));
    v.SetPeaksFileName(path);  // same name: not read again
    EXPECT_EQ(v.Model().PeakCount(), 6000);
    const int painted = paints;
    v.SetPeaksFileName(QString());
    EXPECT_EQ(v.PcmByteCount(), 0);
    EXPECT_EQ(paints, painted);
    v.SetPeaksFileName(path);
    EXPECT_EQ(v.Model().PeakCount(), 3000);
    v.SetPeaksFileName(dir.filePath("missing.pek"));
    EXPECT_TRUE(v.PeaksFileName().isEmpty());
    EXPECT_EQ(v.Model().PeakCount(), 3000);
}

TEST_F(PeakViewerTest, loadDerivesStepsAndSettersIgnoreOutOfRangeValues)
{
    EXPECT_EQ(v.PageSeconds(), 40);
    // 400 columns × 1000 frames per peak / 44100 Hz = 9 s across the view.
    ASSERT_TRUE(LoadStream(Stereo16(44100, 1000, 60, Constant(40000, 30000))));
    EXPECT_EQ(v.VisibleSeconds(), 9);
    EXPECT_EQ(v.PageSeconds(), 9);
    EXPECT_EQ(v.LineSeconds(), 1);
    v.SetPlayStepPercent(50);
    EXPECT_EQ(v.PlayStepPercent(), 0);
    v.SetPlayStepPercent(20);
    EXPECT_EQ(v.PageSeconds(), 7);
    v.SetPlayStepPercent(0);
    EXPECT_EQ(v.PageSeconds(), 7);
    for (float bad : {0.05f, std::nanf(""), 1e30f})
        v.SetTimeScaler(bad);
    EXPECT_FLOAT_EQ(v.TimeScaler(), 1.0f);
}

TEST_F(PeakViewerTest, drawsEachChannelInItsHalfUnderTheGrid)
{
    // Nothing loaded: two channels of grid.
    for (int s = 1; s <= 4; ++s)
        EXPECT_EQ(Pixel(100, s * 50 - 1) == Rgb(v.BorderColor()), s % 2 == 0) << s;
    ASSERT_TRUE(LoadStream(Minute(Constant(49152, 16384))));
    const int q = Q();
    ASSERT_EQ(q, 50);
    const QRgb peaks = Rgb(v.PeaksColor()), border = Rgb(v.BorderColor()), back = Rgb(v.Color());
    for (int x : {5, 200, 390}) {
        EXPECT_EQ(Pixel(x, 2 * q - 75), peaks) << x;  // left: upper half
        EXPECT_EQ(Pixel(x, 4 * q - 25), peaks) << x;  // right: lower half
        EXPECT_EQ(Pixel(x, 2 * q - 65), back) << x;
    }
    // Centre lines one pixel, channel boundaries two; a two-pixel frame.
    for (int s = 1; s <= 3; ++s) {
        EXPECT_EQ(Pixel(100, s * q), border) << s;
        EXPECT_EQ(Pixel(100, s * q - 1) == border, s % 2 == 0) << s;
        EXPECT_EQ(Pixel(100, s * q + 1), back) << s;
    }
    EXPECT_EQ(Pixel(1, 120), border);
    EXPECT_EQ(Pixel(2, 120), back);
    EXPECT_EQ(Pixel(399, 120), border);

    // A pair 65535, 0 zigzags across the whole band in every column.
    ASSERT_TRUE(LoadStream(Minute([](int64_t, int ch) { return ch == 0 ? std::pair{65535u, 0u} : std::pair{Low, Low}; })));
    for (int y = 3; y < 99; y += 7)
        EXPECT_EQ(Pixel(150, y), peaks) << y;
}

TEST_F(PeakViewerTest, timeScalerChoosesThePeakOfEachColumn)
{
    // Even peaks high and odd peaks low on the left; the right stays low.
    ASSERT_TRUE(LoadStream(Minute([](int64_t p, int ch) {
        const uint32_t level = ch == 1 || p % 2 ? Low : High;
        return std::pair{level, level};
    })));
    const QRgb peaks = Rgb(v.PeaksColor());
    v.SetTimeScaler(2.0f);  // column x shows peak 2x: only even peaks
    for (int x = 10; x < 390; ++x) {
        EXPECT_EQ(Pixel(x, 100 - 88), peaks) << x;
        ASSERT_NE(Pixel(x, 100 - 13), peaks) << x;
    }
    EXPECT_EQ(Pixel(200, 200 - 13), peaks);

    v.SetTimeScaler(0.25f);  // each peak over about four columns, none skipped
    int64_t last = 0;
    for (int x = 3; x < 397; ++x) {
        const int64_t p = v.Model().PeakAtColumn(x);
        EXPECT_LE(p - last, 1) << x;
        last = p;
        if (v.Model().PeakAtColumn(x - 1) == p && v.Model().PeakAtColumn(x + 1) == p) {
            EXPECT_EQ(Pixel(x, 100 - 88) == peaks, p % 2 == 0) << x;
        }
    }
    EXPECT_EQ(last, 99);
}

TEST_F(PeakViewerTest, aChannelRunsFlatAtItsLastValueWhereTheDataEnds)
{
    // One second of records (100 columns at scaler 1); the left channel goes
    // high then low in each record, the right low then high.
    ASSERT_TRUE(LoadStream(Stereo16(8000, 80, 1, [](int64_t, int ch) {
        return ch == 0 ? std::pair{High, Low} : std::pair{Low, High};
    })));
    const QRgb peaks = Rgb(v.PeaksColor()), back = Rgb(v.Color());
    for (float scaler : {1.0f, 2.0f}) {
        SCOPED_TRACE(scaler);
        v.SetTimeScaler(scaler);
        const int end = static_cast<int>(100 / scaler);
        EXPECT_EQ(Pixel(end / 2, 40), peaks);  // data columns span high to low
        EXPECT_EQ(Pixel(end / 2, 160), peaks);
        for (int x = end + 2; x < 398; x += 9) {
            ASSERT_EQ(Pixel(x, 100 - 13), peaks) << x;  // left ends on its low value
            ASSERT_EQ(Pixel(x, 200 - 88), peaks) << x;  // right on its high value
            for (int y : {20, 40, 60, 80, 130, 160, 190})
                ASSERT_EQ(Pixel(x, y), back) << x << "," << y;
        }
    }
}

TEST_F(PeakViewerTest, waveformMarkCursorAndPointerShareColumnsAtEveryScaler)
{
    // A click of one record at 2.0 s and another in the last record.
    ASSERT_TRUE(LoadStream(Minute([](int64_t p, int) {
        return p == 200 || p == 5999 ? std::pair{65535u, 0u} : std::pair{32768u, 32768u};
    })));
    const QRgb peaks = Rgb(v.PeaksColor()), back = Rgb(v.Color()), mark = Rgb(v.MarkColor());
    // Scaler and the first column showing the click (peak 200, 100 after the start).
    for (auto [scaler, x] : {std::pair{2.0f, 50}, std::pair{4.0f, 25}, std::pair{0.5f, 199}}) {
        SCOPED_TRACE(scaler);
        v.SetTimeScaler(scaler);
        v.ScrollToSeconds(1);
        ASSERT_EQ(v.ScrollPos(), 100);
        EXPECT_EQ(Pixel(x, 10), peaks);
        EXPECT_EQ(Pixel(x + 3, 10), back);
        EXPECT_EQ(Pixel(x - 3, 10), back);
        ASSERT_TRUE(v.SetMark(2000, 2400));
        EXPECT_EQ(Pixel(x - 3, 10), back);
        EXPECT_EQ(Pixel(x + 3, 10), mark);
        v.SetPosition(0);
        ASSERT_TRUE(v.SetMark(0, 0));
        v.SetPaintCursor(true);
        QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(x, 60));
        EXPECT_EQ(v.Position(), 2000);
        EXPECT_EQ(v.TimeAtPixel(x), 2000);
        EXPECT_EQ(Pixel(x, 30), Rgb(v.PositionColor()));
        v.SetPaintCursor(false);
        v.SetPlayTime(2000 * 10000);
        EXPECT_EQ(v.PointerX(), x);
    }
}

TEST_F(PeakViewerTest, theEndOfTheFileScrollsIntoViewAtEveryScaler)
{
    ASSERT_TRUE(LoadStream(Minute([](int64_t p, int) {
        return p == 5999 ? std::pair{65535u, 0u} : std::pair{32768u, 32768u};
    })));
    const QRgb peaks = Rgb(v.PeaksColor());
    for (float scaler : {0.25f, 0.5f, 1.0f, 4.0f}) {
        SCOPED_TRACE(scaler);
        v.SetTimeScaler(scaler);
        v.ScrollBar()->Request(SB_RIGHT);
        // The last column reaches the last record and stops there.
        const int64_t last = v.Model().PeakAtColumn(399);
        EXPECT_GE(last, 5999 - scaler);
        EXPECT_LE(last, 6001);
        if (scaler < 1) {
            const int64_t column = v.Model().ColumnAtPeak(5999);
            ASSERT_GT(column, 2);
            ASSERT_LT(column, 398);
            EXPECT_EQ(Pixel(static_cast<int>(column), 10), peaks);
        }
    }
    // Scaler 1 keeps the range of the scroll bar: the peak count, a page of the width.
    v.SetTimeScaler(1.0f);
    EXPECT_EQ(v.ScrollBar()->State().nMax, 6000);
    EXPECT_EQ(v.ScrollBar()->State().nPage, 400u);
}

TEST_F(PeakViewerTest, monoAnd8BitDataDrawInTheirBands)
{
    const QRgb peaks = Rgb(v.PeaksColor());
    // Mono 16-bit: one channel over the whole height.
    ASSERT_TRUE(LoadStream(Bytes(Header(8000, 1, 4, 80, 60), 6000, Constant(High, 0))));
    EXPECT_EQ(Q(), 100);
    EXPECT_EQ(Pixel(200, 25), peaks);
    ASSERT_TRUE(LoadStream(Bytes(Header(8000, 2, 2, 80, 60), 6000, Constant(192, 64))));
    EXPECT_EQ(Pixel(200, 25), peaks);
    EXPECT_EQ(Pixel(200, 175), peaks);
    // One byte per channel (file only); 100 peaks over 400 columns run flat at the last value.
    ASSERT_TRUE(v.LoadFromFile(File("b1.pek", Bytes(Header(8000, 2, 1, 80, 1), 100, Constant(192, 64)))));
    EXPECT_EQ(Pixel(350, 25), peaks);
    EXPECT_EQ(Pixel(350, 175), peaks);
    v.Clear();
    EXPECT_EQ(Pixel(350, 25), Rgb(v.Color()));
}

TEST_F(PeakViewerTest, markCursorAndOnPaintAreDrawnInTheirPlaces)
{
    ASSERT_TRUE(LoadStream(Minute(Constant(40000, 40000))));
    EXPECT_FALSE(v.SetMark(5000, 5000));
    EXPECT_FALSE(v.SetMark(-1, 10));
    EXPECT_TRUE(v.SetMark(3000, 7000));
    const QRgb mark = Rgb(v.MarkColor()), back = Rgb(v.Color()), pos = Rgb(v.PositionColor());
    EXPECT_EQ(Pixel(299, 30), back);
    EXPECT_EQ(Pixel(300, 30), mark);
    EXPECT_EQ(Pixel(397, 30), mark);
    EXPECT_EQ(Pixel(300, 39), Rgb(v.PeaksColor()));  // peaks over the mark
    v.ScrollToSeconds(5);
    EXPECT_EQ(Pixel(150, 30), mark);
    EXPECT_EQ(Pixel(200, 30), back);
    EXPECT_TRUE(v.SetMark(0, 0));
    EXPECT_EQ(Pixel(150, 30), back);

    v.ScrollToSeconds(0);
    v.SetPaintCursor(true);
    QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(100, 60));
    EXPECT_EQ(v.Position(), 1000);
    for (int x = 97; x <= 103; ++x) {
        EXPECT_EQ(Pixel(x, 2), pos) << x;
        EXPECT_EQ(Pixel(x, 197), pos) << x;
    }
    EXPECT_EQ(Pixel(96, 2), back);
    EXPECT_EQ(Pixel(104, 197), back);
    EXPECT_EQ(Pixel(100, 30), pos);

    v.OnPaint = [](QObject*, TCanvas& c) { c.fillRect(QRect(0, 0, 10, 10), Qt::red); };
    v.SetPeaksColor(clTeal);
    EXPECT_EQ(Pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(PeakViewerTest, scrollRequestsStepByTimeAndClampToTheRange)
{
    ASSERT_TRUE(LoadStream(Stereo16(44100, 1102, 600, Constant(40000, 30000))));
    HorzScrollBar* bar = v.ScrollBar();
    std::vector<std::pair<int, int>> seen;
    v.OnScroll = [&](QObject*, int code, int& pos) {
        seen.emplace_back(code, pos);
        pos = 12345;  // ignored
    };
    const int64_t line = v.Model().PeakAtMs(v.LineSeconds() * 1000);
    const int64_t page = v.Model().PeakAtMs(v.PageSeconds() * 1000);
    EXPECT_EQ(line, 40 * v.LineSeconds());  // about 40 peaks a second

    bar->Request(SB_LINERIGHT);
    EXPECT_EQ(v.ScrollPos(), line);
    bar->Bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(v.ScrollPos(), line + page);
    bar->Request(SB_LINELEFT);
    bar->Request(SB_PAGELEFT);
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
    EXPECT_EQ(seen[5], std::make_pair(int(SB_THUMBTRACK), 777));
    EXPECT_EQ(seen[7].first, int(SB_ENDSCROLL));

    v.resize(500, v.height());  // a resize returns to the start
    EXPECT_EQ(v.ScrollPos(), 0);
    v.ScrollToSeconds(3000000000LL);  // clamps to the end rather than wrapping to the start
    EXPECT_EQ(v.ScrollPos(), bar->State().MaxPos());
}

TEST_F(PeakViewerTest, clickMovesTheCursorAndArrowsStepItWhileInView)
{
    ASSERT_TRUE(LoadStream(Minute()));
    std::vector<uint16_t> keys;
    v.OnKeyDown = [&](QObject*, uint16_t& key, TShiftState) { keys.push_back(key); };
    int painted = paints;
    QTest::keyClick(&v, Qt::Key_Right);  // Position 0 is not inside the view
    EXPECT_EQ(v.Position(), 0);
    EXPECT_EQ(paints, painted);

    v.ScrollToSeconds(20);
    int64_t positionSeen = -1;
    v.OnMouseDown = [&](QObject*, TMouseButton b, TShiftState, int, int) {
        EXPECT_EQ(b, mbLeft);
        positionSeen = v.Position();
    };
    QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(0, 20));
    EXPECT_EQ(positionSeen, 0);  // the event comes first
    EXPECT_EQ(v.Position(), 20000);
    EXPECT_EQ(v.TimeAtPixel(0), 20000);
    QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(50, 20));
    EXPECT_TRUE(v.hasFocus());
    EXPECT_EQ(v.Position(), 20500);
    QTest::keyClick(&v, Qt::Key_Right);
    QTest::keyClick(&v, Qt::Key_Left);
    QTest::keyClick(&v, Qt::Key_Left);
    EXPECT_EQ(v.Position(), 20460);
    painted = paints;
    QTest::keyClick(&v, Qt::Key_A);
    EXPECT_EQ(paints, painted + 1);
    EXPECT_EQ(keys, (std::vector<uint16_t>{VK_RIGHT, VK_RIGHT, VK_LEFT, VK_LEFT, uint16_t('A')}));
    v.SetDesigning(true);
    QTest::keyClick(&v, Qt::Key_Right);
    EXPECT_EQ(v.Position(), 20460);
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
    }
    void Play(int ms) { v.SetPlayTime(int64_t(ms) * 10000); }
    QRgb Shown(int x, int y) const { return v.WindowImage().pixel(x, y); }
};

TEST_F(PlayPointerTest, pointerMovesOverTheBufferAndIsForgottenByARepaint)
{
    const QRgb back = Rgb(v.Color());
    Play(1000);
    EXPECT_EQ(v.PointerX(), 100);
    EXPECT_EQ(Shown(100, 30), (~back) | 0xFF000000u);  // not-xor with black inverts
    Play(1500);
    EXPECT_EQ(Shown(100, 30), back);
    EXPECT_NE(Shown(150, 30), back);
    EXPECT_EQ(Pixel(150, 30), back);  // never in the buffer
    Play(60000);  // exactly the duration: nothing happens
    EXPECT_EQ(v.PointerX(), 150);
    v.SetTimeScaler(1.5f);
    EXPECT_EQ(v.PointerX(), 0);
    EXPECT_EQ(Shown(150, 30), back);

    v.SetTimeScaler(1.0f);
    v.SetAutoMove(false);
    Play(5000);  // off the right edge without paging
    EXPECT_EQ(v.PointerX(), 0);
    EXPECT_EQ(v.ScrollPos(), 0);
}

TEST_F(PlayPointerTest, pagesOncePastTheThreshold)
{
    const int painted = paints;
    Play(4000);  // column 400 is not past the threshold 400 but off the client
    EXPECT_EQ(v.PointerX(), 0);
    EXPECT_EQ(paints, painted);
    Play(4010);
    EXPECT_EQ(v.ScrollPos(), v.Model().PeakAtMs(v.PageSeconds() * 1000));
    EXPECT_EQ(v.PointerX(), 0);
    EXPECT_EQ(paints, painted + 1);

    v.ScrollToSeconds(0);
    v.SetPlayStepPercent(49);
    Play(2050);  // column 205 > Round(400 × 0.51)
    const int64_t jump = v.Model().PeakAtMs(Round(v.PageSeconds() * 0.51 * 1000));
    EXPECT_EQ(v.ScrollPos(), std::max<int64_t>(jump, 10));
    Play(2050);
    EXPECT_EQ(v.PointerX(), 205 - v.ScrollPos());
}

} // namespace

} // namespace kx
