// A WAV file on disk: the file reader must parse its header exactly as the
// memory reader does, and the wave viewer then opens it and builds its peaks
// as the component runs it (file reader, extraction loop, progress events,
// saving), with record counts that follow from the data present.
#include <QFile>
#include <QFileInfo>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "platform/widgets/MessageBox.h"
#include "wavviewer/WavFile.h"
#include "wavviewer/WavViewer.h"

using namespace kx;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    SetMessageBoxHook([](QWidget*, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const int seconds = 1 + int(in.Pick(255));
    const int width = 20 + int(in.Pick(2000));
    const uint32_t tail = in.Take(1);
    const std::span<const uint8_t> bytes(in.Rest(), in.RestSize());
    const QString path = fuzz::WriteScratch(QStringLiteral("w.wav"), bytes.data(), bytes.size());
    // A few selectors add a hole after the bytes: data chunks that reach
    // further than what was written.
    uint64_t fileSize = bytes.size();
    if (tail >= 0xFC) {
        fileSize += uint64_t(1) << (4 * (tail - 0xFB));
        QFile::resize(path, static_cast<qint64>(fileSize));
    }

    WavInfo fromFile, fromMemory;
    FileByteReader fileReader(path);
    MemoryByteReader memoryReader(bytes);
    const WavCheck fileCheck = ReadWavHeader(fileReader, fromFile);
    const WavCheck memoryCheck = ReadWavHeader(memoryReader, fromMemory);
    // The hole reads as zeros, which can only let the file reader go further.
    if (fileSize == bytes.size() &&
        (fileCheck != memoryCheck ||
         (fileCheck == WavCheck::Ok &&
          (fromFile.DataOffset != fromMemory.DataOffset || fromFile.DataSize != fromMemory.DataSize ||
           fromFile.BlockAlign != fromMemory.BlockAlign || fromFile.SampleRate != fromMemory.SampleRate))))
        __builtin_trap();

    TWavViewer viewer;
    viewer.SetSecondsToShow(static_cast<uint8_t>(seconds));
    viewer.resize(viewer.InfoWidth() + width, 120);
    viewer.SetSavePeaks(false);
    int progressCalls = 0;
    viewer.OnBuildingPeaks = [&](QObject*, int, float, bool&) { ++progressCalls; };
    viewer.SetFileName(path);
    if (viewer.FileName() != path) {
        if (fileCheck == WavCheck::Ok && fromFile.DataSize > 0)
            __builtin_trap();  // a header the reader accepts is opened
        return 0;
    }
    if (!viewer.BuildPeaks())
        return 0;
    if (fileCheck != WavCheck::Ok || progressCalls == 0)
        __builtin_trap();
    const QString peaks = fuzz::ScratchDir() + QStringLiteral("/w.pek");
    if (!viewer.SavePeaksToFile(peaks))
        return 0;
    const uint64_t available = fileSize - std::min<uint64_t>(fileSize, fromFile.DataOffset);
    const uint64_t frames = std::min<uint64_t>(available, fromFile.DataSize) / fromFile.BlockAlign;
    const uint64_t perPeak = FramesPerPeakFor(seconds, fromFile.SampleRate, width, fromFile.BlockAlign);
    const uint64_t records = (frames + perPeak - 1) / perPeak;
    if (static_cast<uint64_t>(QFileInfo(peaks).size()) != WavPeakHeaderSize + records * 2u * fromFile.BlockAlign)
        __builtin_trap();
    return 0;
}
