// Peak files found beside queued media: the builder's "peak file exists"
// path loads them into its stream list, and a viewer loads each stream the
// builder hands out and draws it. The queue and the stream list must agree
// at every event, and a stream holds exactly the file it was loaded from.
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "mediagraph/MediaFramework.h"
#include "peaks/KXPeakBuilder.h"
#include "peaks/PeakFormat.h"
#include "platform/widgets/HorzScrollBar.h"
#include "viewers/KXAudioPeakViewer.h"

using namespace kx;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    InitMediaFramework();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const int count = 1 + int(in.Pick(3));
    const bool together = in.Flag();
    const QString dir = fuzz::ScratchDir();
    QStringList media;
    std::vector<QByteArray> peaks(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const QString name = dir + QStringLiteral("/m%1.wav").arg(i);
        QFile(name).open(QIODevice::WriteOnly);
        const QString peak = ChangeFileExt(name, QStringLiteral(".pek"));
        QFile::remove(peak);
        // A zero length byte means no peak file for this one.
        const uint32_t length = i + 1 == count ? uint32_t(in.RestSize()) : in.Take(1) * 3;
        if (length > 0) {
            peaks[static_cast<size_t>(i)] = in.Bytes(length);
            QFile f(peak);
            if (f.open(QIODevice::WriteOnly))
                f.write(peaks[static_cast<size_t>(i)]);
        }
        media << name;
    }

    TKXPeakBuilder builder;
    builder.SetTempFolder(dir);
    TKXAudioPeakViewer viewer;
    viewer.resize(97, 60);
    int events = 0;
    builder.OnPeakNew = [&](QObject*, int index, const QString& file, const QString&) {
        ++events;
        TMemoryStream* byIndex = nullptr;
        TMemoryStream* byName = nullptr;
        if (!builder.GetStreamByIndex(index, byIndex) || !builder.GetStreamByName(file, byName) ||
            byIndex != byName || builder.Files().value(index) != file)
            __builtin_trap();
        const QByteArray& bytes = peaks[static_cast<size_t>(media.indexOf(file))];
        if (byIndex->Size() != bytes.size() ||
            !std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const char*>(byIndex->Data())))
            __builtin_trap();
        const std::span<const uint8_t> head = byIndex->Bytes().first(std::min<size_t>(byIndex->Bytes().size(), 16));
        if (CheckPeakData(head, static_cast<uint64_t>(byIndex->Size()), PeakReader::Builder) != PeakCheck::Accepted)
            __builtin_trap();
        if (viewer.LoadFromStream(byIndex)) {
            viewer.PaintPeaks(false, nullptr);
            viewer.ScrollBar()->Request(SB_RIGHT);
            viewer.PaintPeaks(false, nullptr);
        }
    };
    if (together)
        builder.SetFilenames(media);
    else
        for (const QString& m : media)
            builder.AppendFilename(m);
    if (builder.FileCount() > count || events > count)
        __builtin_trap();
    for (int i = 0; i < builder.FileCount(); ++i) {
        TMemoryStream* stream = nullptr;
        if (!builder.GetStreamByIndex(i, stream) || !stream)
            __builtin_trap();
    }
    return 0;
}
