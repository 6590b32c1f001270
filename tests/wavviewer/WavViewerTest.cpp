#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "WavTestFiles.h"
#include "platform/widgets/HorzScrollBar.h"
#include "platform/widgets/MessageBox.h"
#include "platform/QtInput.h"
#include "wavviewer/WavViewer.h"

namespace kx {

using namespace WavTest;

namespace {

class WavViewerTest : public ::testing::Test
{
protected:
    QString Write(const QString& name, const std::vector<uint8_t>& bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }

    // A shown viewer whose peak area is peakWidth pixels wide.
    std::unique_ptr<TWavViewer> Viewer(int peakWidth, int height = 200)
    {
        auto v = std::make_unique<TWavViewer>();
        v->resize(v->InfoWidth() + peakWidth, height);
        v->show();
        QApplication::processEvents();
        return v;
    }

    static std::vector<uint8_t> Records(const TWavViewer& v)
    {
        return {v.PeakData().Bytes().begin(), v.PeakData().Bytes().end()};
    }

    static std::vector<uint8_t> FileBytes(const QString& path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray a = f.readAll();
        return {a.begin(), a.end()};
    }

    QTemporaryDir dir;
    ScopedMessageCapture messages;
};

} // namespace

TEST_F(WavViewerTest, buildsRecordsFromTheDataChunkOnlyAndSavesThem)
{
    // 10 s over 400 columns at 4040 Hz: 101 frames a record, raised to 104 (block
    // align 4); buffers of 101 * 400 = 40400 bytes end inside a record.
    const auto pcm = Noise(40400 * 2 + 4 * 37, 7);
    const auto path = Write("song.wav", Riff({Fmt(2, 4040, 16), Chunk("LIST", {9, 9, 9, 9}), Chunk("data", pcm),
                                              Chunk("junk", std::vector<uint8_t>(5000, 0xFF))}));
    auto v = Viewer(400);
    v->SetSecondsToShow(10);
    std::vector<int> bytesRead;
    std::vector<float> percent;
    v->OnBuildingPeaks = [&](QObject* sender, int read, float done, bool& breakProcess) {
        EXPECT_EQ(sender, v.get());
        EXPECT_TRUE(breakProcess);
        bytesRead.push_back(read);
        percent.push_back(done);
    };
    v->SetFileName(path);
    ASSERT_EQ(v->FileName(), path);
    ASSERT_TRUE(v->BuildPeaks());

    EXPECT_EQ(Records(*v), ExpectedRecords(pcm, 2, 16, 104));
    const std::vector<int> reads = {40400, 80800, static_cast<int>(pcm.size())};
    EXPECT_EQ(bytesRead, reads);
    EXPECT_FLOAT_EQ(percent.back(), 1.0f);
    EXPECT_EQ(v->PeakCount(), static_cast<int64_t>(Records(*v).size() / 8));
    EXPECT_EQ(v->cursor().shape(), Qt::PointingHandCursor);

    // The peak file beside the WAV: 14-byte header, then the records.
    auto expected = EncodeWavPeakHeader({4, 2, 4040, 16, static_cast<uint32_t>(pcm.size()), 0});
    const auto records = Records(*v);
    expected.insert(expected.end(), records.begin(), records.end());
    EXPECT_EQ(FileBytes(dir.filePath("song.pek")), expected);
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(WavViewerTest, dataEndingAtABufferBoundaryKeepsItsPartialRecord)
{
    const auto pcm = Noise(40400 * 2, 8);
    const auto path = Write("even.wav", Riff({Fmt(2, 4040, 16), Chunk("data", pcm)}));
    auto v = Viewer(400);
    v->SetSecondsToShow(10);
    v->SetSavePeaks(false);
    int calls = 0;
    v->OnBuildingPeaks = [&](QObject*, int, float, bool&) { ++calls; };
    v->SetFileName(path);
    ASSERT_TRUE(v->BuildPeaks());
    // The last read delivers nothing; the record in progress is still kept.
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(Records(*v), ExpectedRecords(pcm, 2, 16, 104));
    EXPECT_FALSE(QFile::exists(dir.filePath("even.pek")));
}

TEST_F(WavViewerTest, fileCutInsideARecordEndsWithAPartialRecord)
{
    auto file = Riff({Fmt(1, 8000, 16), Chunk("data", Noise(1000, 9))});
    const std::vector<uint8_t> cut(file.begin(), file.begin() + 44 + 501);
    const auto path = Write("cut.wav", cut);
    auto v = Viewer(100);
    v->SetSecondsToShow(1);
    v->SetSavePeaks(false);
    v->SetFileName(path);
    ASSERT_TRUE(v->BuildPeaks());
    // 80 frames a record; 250 whole frames arrived.
    const std::vector<uint8_t> present(cut.begin() + 44, cut.end() - 1);
    EXPECT_EQ(Records(*v), ExpectedRecords(present, 1, 16, 80));
    EXPECT_EQ(v->DataSize(), 500u);
}

TEST_F(WavViewerTest, breakProcessStopsAfterTheBufferAndStillSaves)
{
    const auto pcm = Noise(40400 * 3, 10);
    const auto path = Write("long.wav", Riff({Fmt(2, 4040, 16), Chunk("data", pcm)}));
    auto v = Viewer(400);
    v->SetSecondsToShow(10);
    v->OnBuildingPeaks = [](QObject*, int, float, bool& breakProcess) { breakProcess = false; };
    v->SetFileName(path);
    ASSERT_TRUE(v->BuildPeaks());
    const std::vector<uint8_t> first(pcm.begin(), pcm.begin() + 40400);
    auto whole = ExpectedRecords(first, 2, 16, 104);
    whole.resize(40400 / 416 * 8); // only the records completed in that buffer
    EXPECT_EQ(Records(*v), whole);
    EXPECT_EQ(FileBytes(dir.filePath("long.pek")).size(), 14 + whole.size());
}

TEST_F(WavViewerTest, aRefusedFileKeepsThePreviousFileAndPeaks)
{
    const auto good = Write("good.wav", Riff({Fmt(1, 8000, 8), Chunk("data", Noise(4000, 11))}));
    const auto bad = Write("bad.wav", Riff({Fmt(1, 8000, 24), Chunk("data", Noise(30, 1))}));
    auto v = Viewer(100);
    v->SetFileName(good);
    ASSERT_TRUE(v->BuildPeaks());
    const auto before = Records(*v);
    ASSERT_FALSE(before.empty());

    v->SetFileName(bad);
    EXPECT_EQ(v->FileName(), good);
    EXPECT_EQ(Records(*v), before);
    v->SetFileName(dir.filePath("missing.wav"));
    EXPECT_EQ(v->FileName(), good);
    EXPECT_EQ(messages.Texts(), QStringList({"Invalid file", "Invalid file"}));

    v->SetFileName(QString());
    EXPECT_EQ(v->DataSize(), 0u);
    EXPECT_EQ(v->PeakData().Size(), 0);
    EXPECT_FALSE(v->ReadHeader());
    EXPECT_FALSE(v->BuildPeaks());
    EXPECT_EQ(messages.Texts().size(), 2);
}

TEST_F(WavViewerTest, savingToAnUnwritablePlaceShowsTheMessage)
{
    const auto path = Write("s.wav", Riff({Fmt(2, 8000, 8), Chunk("data", Noise(400, 12))}));
    auto v = Viewer(100);
    v->SetSavePeaks(false);
    v->SetFileName(path);
    ASSERT_TRUE(v->BuildPeaks());
    EXPECT_FALSE(v->SavePeaksToFile(dir.filePath("no/such/dir/x.pek")));
    EXPECT_EQ(messages.Texts(), QStringList({"Invalid path or protected file"}));
    v->SetPeaksFileExt("peaks");
    EXPECT_EQ(v->PeaksFileExt(), ".pea");
    EXPECT_TRUE(v->SavePeaksToFile(QString()));
    EXPECT_TRUE(QFile::exists(dir.filePath("s.pea")));
}

TEST_F(WavViewerTest, panelsLayOutAndBoundTheViewer)
{
    auto v = Viewer(400, 200);
    EXPECT_EQ(v->InfoWidth(), 32);
    EXPECT_EQ(v->InfoHeight(), 28);
    EXPECT_EQ(v->TopPanel()->geometry(), QRect(0, 0, v->ClientWidth(), 28));
    EXPECT_EQ(v->LeftPanel()->geometry(), QRect(0, 28, 32, v->ClientHeight() - 28));
    EXPECT_EQ(v->minimumWidth(), 32 + 20);
    EXPECT_EQ(v->PeakAreaWidth(), 400);

    v->SetInfoWidth(60);
    EXPECT_EQ(v->InfoWidth(), 60);
    EXPECT_EQ(v->minimumWidth(), 80);
    EXPECT_EQ(v->PeakAreaWidth(), 372);
    // Never wider than the client less 20, never narrower than "0000".
    v->SetInfoWidth(5000);
    EXPECT_EQ(v->InfoWidth(), v->ClientWidth() - 20);
    v->SetInfoWidth(1);
    EXPECT_EQ(v->InfoWidth(), 32);
    v->SetInfoHeight(50);
    EXPECT_EQ(v->LeftPanel()->y(), 50);
    EXPECT_EQ(v->minimumHeight() - v->ScrollBar()->Height(), 70);

    v->SetInfoBackColor(clRed);
    EXPECT_EQ(v->TopPanel()->Color(), clRed);
    v->SetInfoBevelOuter(bvLowered);
    EXPECT_EQ(v->TopPanel()->BevelOuter(), bvLowered);
}

TEST_F(WavViewerTest, channelLanesFollowTheChannelCount)
{
    auto v = Viewer(400, 200);
    const int h = v->LeftPanel()->height();
    const int q2 = static_cast<int>(std::nearbyint(h / 4.0));
    EXPECT_EQ(v->ChannelLines(), std::vector<int>({q2, 3 * q2}));

    v->SetFileName(Write("m.wav", Riff({Fmt(1, 8000, 16), Chunk("data", Noise(800, 13))})));
    const int q1 = static_cast<int>(std::nearbyint(h / 2.0));
    EXPECT_EQ(v->ChannelLines(), std::vector<int>({q1}));

    // The lane bottom line is drawn in the border colour across the peak area.
    v->PaintPeaks(true, nullptr);
    const QImage& img = v->BackBuffer();
    EXPECT_EQ(img.pixelColor(v->InfoWidth() + 100, v->InfoHeight() + q1), ToQColor(v->BorderColor()));
}

TEST_F(WavViewerTest, timeMarksAndTheirLimit)
{
    auto v = Viewer(400, 200);
    v->SetSecondsToShow(10);
    v->SetMarksInterval(5);
    const auto marks = v->TimeMarks();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].X, v->InfoWidth() + 200);
    EXPECT_EQ(marks[0].Label, "00:00:05");

    // Without a file the limit is a fifth of the client width.
    v->resize(432, 200);
    QApplication::processEvents();
    v->SetMarksInterval(1);
    v->SetMarksInterval(87);
    EXPECT_EQ(v->MarksInterval(), 5);
    v->SetMarksInterval(86);
    EXPECT_EQ(v->MarksInterval(), 86);
    EXPECT_TRUE(messages.Texts().isEmpty());
    v->SetDesigning(true);
    v->SetMarksInterval(90);
    EXPECT_EQ(messages.Texts(), QStringList({"Marks interval must be between 2 and 86"}));
    v->SetDesigning(false);

    // With records, marks step by the columns of the interval and count on.
    v->resize(v->InfoWidth() + 400, 200);
    QApplication::processEvents();
    v->SetFileName(Write("t.wav", Riff({Fmt(1, 4000, 8), Chunk("data", Noise(4000 * 40, 14))})));
    ASSERT_TRUE(v->BuildPeaks());
    v->SetMarksInterval(3);
    const auto withData = v->TimeMarks();
    ASSERT_GE(withData.size(), 2u);
    EXPECT_EQ(withData[1].X - withData[0].X, v->PeakAtMs(3000));
    EXPECT_EQ(withData[1].Ms - withData[0].Ms, 3000);
    EXPECT_EQ(withData[0].Label, ClockText(withData[0].Ms));
}

TEST_F(WavViewerTest, secondsAndStepSettersKeepTheirOrder)
{
    auto v = Viewer(400);
    v->SetSecondsToShow(5);
    EXPECT_EQ(v->SmallChangeSeconds(), 5);
    EXPECT_EQ(v->LargeChangeSeconds(), 5);
    v->SetSecondsToShow(60);
    v->SetSmallChangeSeconds(10);
    EXPECT_EQ(v->SmallChangeSeconds(), 5); // not below the large step
    v->SetLargeChangeSeconds(40);
    v->SetSmallChangeSeconds(10);
    EXPECT_EQ(v->LargeChangeSeconds(), 40);
    EXPECT_EQ(v->SmallChangeSeconds(), 10);
    v->SetLargeChangeSeconds(10);  // equal to the small step
    v->SetLargeChangeSeconds(60);  // equal to the view
    v->SetSmallChangeSeconds(0);
    EXPECT_EQ(v->LargeChangeSeconds(), 40);
    EXPECT_EQ(v->SmallChangeSeconds(), 10);
    v->SetSecondsToShow(0);
    EXPECT_EQ(v->SecondsToShow(), 60);
}

TEST_F(WavViewerTest, scrollingClampsAndReportsItsCode)
{
    // 40 s at 10 s over 100 columns: about 400 records.
    const auto path = Write("scroll.wav", Riff({Fmt(1, 1000, 8), Chunk("data", Noise(40000, 15))}));
    auto v = Viewer(100);
    v->SetSecondsToShow(10);
    v->SetSavePeaks(false);
    v->SetFileName(path);
    ASSERT_TRUE(v->BuildPeaks());
    const ScrollState& s = v->ScrollBar()->State();
    EXPECT_EQ(s.nMax, v->PeakCount());
    EXPECT_EQ(static_cast<int>(s.nPage), 100);
    std::vector<int> codes;
    v->OnScroll = [&](QObject*, int code, int&) { codes.push_back(code); };

    v->ScrollBar()->Request(SB_LINELEFT);
    EXPECT_EQ(v->ScrollPos(), 0);
    v->ScrollBar()->Request(SB_PAGERIGHT);
    EXPECT_EQ(v->ScrollPos(), v->PeakAtMs(10000)); // large step capped at the view's seconds
    v->ScrollBar()->Request(SB_LINELEFT);
    EXPECT_EQ(v->ScrollPos(), v->PeakAtMs(10000) - v->PeakAtMs(10000));
    v->ScrollBar()->Request(SB_RIGHT);
    EXPECT_EQ(v->ScrollPos(), s.MaxPos());
    v->ScrollBar()->Request(SB_THUMBTRACK, 123);
    EXPECT_EQ(v->ScrollPos(), 123);
    v->ScrollBar()->Request(SB_THUMBPOSITION, -50);
    EXPECT_EQ(v->ScrollPos(), 0);
    EXPECT_EQ(codes, std::vector<int>({SB_LINELEFT, SB_PAGERIGHT, SB_LINELEFT, SB_RIGHT, SB_THUMBTRACK,
                                       SB_THUMBPOSITION}));
    // A new density resets the view to the start.
    v->SetScrollPosition(50);
    v->SetSecondsToShow(20);
    EXPECT_EQ(v->ScrollPos(), 0);
}

TEST_F(WavViewerTest, clicksAndArrowKeysMoveThePosition)
{
    const auto path = Write("c.wav", Riff({Fmt(1, 1000, 8), Chunk("data", Noise(40000, 16))}));
    auto v = Viewer(100);
    v->SetSecondsToShow(10);
    v->SetSavePeaks(false);
    v->SetFileName(path);
    ASSERT_TRUE(v->BuildPeaks());
    std::vector<std::tuple<bool, int, int>> presses;
    v->OnButtonDown = [&](QObject*, bool left, int x, int y) { presses.emplace_back(left, x, y); };

    const int x = v->InfoWidth() + 50;
    QTest::mouseClick(v.get(), Qt::LeftButton, {}, QPoint(x, 100));
    EXPECT_EQ(v->Position(), v->MsAtPixel(50));
    EXPECT_NEAR(v->Position(), 5000, 20);
    QTest::mouseClick(v.get(), Qt::RightButton, {}, QPoint(x + 20, 90));
    EXPECT_EQ(v->Position(), v->MsAtPixel(50));
    ASSERT_EQ(presses.size(), 2u);
    EXPECT_EQ(presses[0], std::make_tuple(true, x, 100));
    EXPECT_EQ(presses[1], std::make_tuple(false, x + 20, 90));

    // The marker is drawn at its column in the position colour.
    v->PaintPeaks(true, nullptr);
    const int marker = v->InfoWidth() + static_cast<int>(v->PeakAtMs(v->Position()) - v->ScrollPos());
    EXPECT_EQ(v->BackBuffer().pixelColor(marker, v->InfoHeight() + 40), ToQColor(v->PositionColor()));

    std::vector<uint16_t> keys;
    v->OnKeyDown = [&](QObject*, uint16_t& key, TShiftState) { keys.push_back(key); };
    const int before = v->Position();
    QTest::keyClick(v.get(), Qt::Key_Right);
    EXPECT_EQ(v->Position(), before + 40);
    QTest::keyClick(v.get(), Qt::Key_Left);
    QTest::keyClick(v.get(), Qt::Key_Left);
    EXPECT_EQ(v->Position(), before - 40);
    // With the marker scrolled out of view the keys leave it alone.
    v->SetScrollPosition(200);
    QTest::keyClick(v.get(), Qt::Key_Right);
    EXPECT_EQ(v->Position(), before - 40);
    EXPECT_EQ(keys, std::vector<uint16_t>({VK_RIGHT, VK_LEFT, VK_LEFT, VK_RIGHT}));

    // Clicks on the info panels are theirs, not the peak area's.
    QTest::mouseClick(v->TopPanel(), Qt::LeftButton, {}, QPoint(x + 30, 10));
    EXPECT_EQ(v->Position(), before - 40);
    v->SetDesigning(true);
    QTest::mouseClick(v.get(), Qt::LeftButton, {}, QPoint(x + 30, 100));
    EXPECT_EQ(v->Position(), before - 40);
    EXPECT_EQ(presses.size(), 2u);
}

TEST_F(WavViewerTest, paintEventsNameThePanelThatWasPainted)
{
    auto v = Viewer(200);
    std::vector<QObject*> senders;
    v->OnPaintHorzInfo = [&](QObject* s, TCanvas&) { senders.push_back(s); };
    v->OnPaintVertInfo = [&](QObject* s, TCanvas&) { senders.push_back(s); };
    int windowPaints = 0;
    v->OnPaint = [&](QObject* s, TCanvas&) {
        EXPECT_EQ(s, v.get());
        ++windowPaints;
    };
    v->grab();
    EXPECT_GE(windowPaints, 1);
    EXPECT_NE(std::find(senders.begin(), senders.end(), v->LeftPanel()), senders.end());
    EXPECT_NE(std::find(senders.begin(), senders.end(), v->TopPanel()), senders.end());
    // The top panel draws its marks in the marks colour.
    v->SetMarksColor(clRed);
    const QImage top = v->TopPanel()->grab().toImage();
    const auto marks = v->TimeMarks();
    ASSERT_FALSE(marks.empty());
    EXPECT_EQ(top.pixelColor(marks[0].X, 3), ToQColor(clRed));
}

} // namespace kx
