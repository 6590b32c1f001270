#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "BuildTestSupport.h"
#include "mediagraph/PeakFilterContract.h"
#include "peaks/PeakFormat.h"

namespace kx {

namespace {

// Reaches the build fields the callback reads, as a running build sets them.
class CallbackBuilder : public TKXPeakBuilder
{
public:
    void Prepare(int index, int64_t duration)
    {
        currentIndex_ = index;
        duration_ = duration;
    }
    void Progress(uint32_t high, uint32_t low) { WindowProc(WM_PEAKPROGRESS, high, intptr_t(low)); }
};

} // namespace

TEST(PeakCallback, withoutAStreamForTheItemNothingIsWrittenOrPosted)
{
    CallbackBuilder b;
    int progressCalls = 0;
    b.OnProgress = [&](QObject*, int, int, int, bool&) { ++progressCalls; };
    const uint8_t block[8] = {};
    b.Prepare(0, 10000000);
    EXPECT_EQ(TKXPeakBuilder::PeakCallback(&b, 8, block, 5, 0), PeakFilter::E_FAIL);
    b.Prepare(-1, 10000000);
    EXPECT_EQ(TKXPeakBuilder::PeakCallback(&b, 8, block, 5, 0), PeakFilter::E_FAIL);
    QCoreApplication::processEvents();
    EXPECT_EQ(progressCalls, 0);
}

TEST(PeakCallback, firstBlockStartsTheStreamWithHeaderAndEstimate)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {8000, 1, 16, 800}, TestMedia::Sine(100, 0.5, 8000)));
    CallbackBuilder b;
    ASSERT_TRUE(b.AppendFilename(wav));
    std::vector<std::pair<int, int>> progress;
    b.OnProgress = [&](QObject*, int p, int item, int, bool&) { progress.emplace_back(p, item); };
    // 2.9 s at 48000 Hz, 16-bit stereo, 100 frames per record: room for 2
    // whole seconds × 48000 × 2 × 16 / 400 = 7680 bytes after the header is
    // reserved, but the stream holds only what arrived, so that a reader of
    // it during the build never meets bytes that are not records yet.
    b.Prepare(0, 29000000);
    std::vector<uint8_t> block(800);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i);
    EXPECT_EQ(TKXPeakBuilder::PeakCallback(&b, 800, block.data(), 14500000, 0), PeakFilter::S_OK);
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(b.GetStreamByIndex(0, s));
    EXPECT_EQ(s->Size(), 16 + 800);
    EXPECT_EQ(s->Position(), 0);  // the readers' position; appends keep their own end
    const auto header = DecodePeakHeader(s->Bytes());
    ASSERT_TRUE(header);
    EXPECT_EQ(*header, MakePeakHeader(48000, 2, 16, 100, 29000000));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), s->Data() + 16));

    // Blocks past the estimate grow the stream.
    std::vector<uint8_t> big(8000, 7);
    EXPECT_EQ(TKXPeakBuilder::PeakCallback(&b, 8000, big.data(), 29000000, 0), PeakFilter::S_OK);
    EXPECT_EQ(s->Size(), 16 + 800 + 8000);

    ASSERT_TRUE(QTest::qWaitFor([&] { return progress.size() == 2; }, 5000));
    EXPECT_EQ(progress[0], std::make_pair(50, 0));
    EXPECT_EQ(progress[1], std::make_pair(100, 0));
}

TEST(PeakCallback, progressRebuildsTheTimeFromBothHalves)
{
    CallbackBuilder b;
    std::vector<int> seen;
    b.OnProgress = [&](QObject*, int p, int, int, bool&) { seen.push_back(p); };
    const int64_t duration = int64_t(3) << 33;  // longer than 32 bits of 100 ns
    b.Prepare(0, duration);
    b.Progress(uint32_t(duration >> 32), uint32_t(duration & 0xFFFFFFFF));
    b.Progress(uint32_t(duration >> 33), 0);
    // The top bit of the high half is not part of the time.
    b.Progress(0x80000000u | uint32_t(duration >> 32), uint32_t(duration & 0xFFFFFFFF));
    b.Prepare(0, 0);
    b.Progress(1, 1);
    EXPECT_EQ(seen, (std::vector<int>{100, 50, 100, 0}));
}

TEST(PeakCallback, eightBitOutputTakesTwoBytesPerChannelAndZeroFramesPerPeakIsRefused)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {8000, 1, 16, 800}, TestMedia::Sine(100, 0.5, 8000)));
    for (TChannels ch : {chMono, chStereo}) {
        CallbackBuilder b;
        b.SetOutputBPS(bp8);
        b.SetOutputChannels(ch);
        b.SetSamplesPerPeak(0);
        EXPECT_EQ(b.SamplesPerPeak(), 100);
        ASSERT_TRUE(b.AppendFilename(wav));
        b.SetSaveToPeakFiles(false);
        ASSERT_TRUE(b.StartBuild());
        ASSERT_TRUE(WaitUntilIdle(b));
        TMemoryStream* s = nullptr;
        ASSERT_TRUE(b.GetStreamByIndex(0, s));
        const auto header = DecodePeakHeader(s->Bytes());
        ASSERT_TRUE(header);
        EXPECT_EQ(header->BytesPerPeak, 2);
        EXPECT_EQ(header->Channels, ch == chMono ? 1 : 2);
        // 0.1 s at 48000 Hz: 48 records.
        EXPECT_EQ(PeakRecordCount(*header, uint64_t(s->Size())), 48);
    }
}

} // namespace kx
