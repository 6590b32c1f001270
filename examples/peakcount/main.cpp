// kxpeakcount MEDIA: builds the peaks of a media file in memory and prints
// how many records they hold. The smallest program that decodes with the
// builder; CI builds it once per way of linking the installed package
// (CMake's KXAudio::KXAudio, CMake's KXAudio::peaks alone, pkg-config), each
// at the compiler's own language level.
#include <QCoreApplication>
#include <cstdio>

#include "mediagraph/MediaFramework.h"
#include "peaks/KXPeakBuilder.h"
#include "peaks/PeakFormat.h"
#include "platform/MemoryStream.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kxpeakcount MEDIA\n");
        return 2;
    }
    kx::InitMediaFramework();
    kx::TKXPeakBuilder builder;
    int code = 1;
    // Built now, or read from a peak file that exists.
    const auto count = [&](QObject*, int index, const QString&, const QString&) {
        kx::TMemoryStream* stream = nullptr;
        if (builder.GetStreamByIndex(index, stream) && stream) {
            const std::span<const uint8_t> bytes(stream->Data(), size_t(stream->Size()));
            if (const auto header = kx::DecodePeakHeader(bytes)) {
                std::printf("%lld\n", static_cast<long long>(kx::PeakRecordCount(*header, bytes.size())));
                code = 0;
            }
        }
        QCoreApplication::quit();
    };
    builder.OnPeakComplete = count;
    builder.OnPeakNew = count;
    builder.OnPeakFailed = [&](QObject*, int, const QString& media, const QString&) {
        std::fprintf(stderr, "kxpeakcount: %s: %s\n", qPrintable(media), qPrintable(builder.LastBuildFailure()));
        QCoreApplication::quit();
    };
    if (!builder.AppendFilename(QString::fromLocal8Bit(argv[1])))
        return 1;
    if (code == 0)
        return 0;
    if (!builder.StartBuild()) {
        std::fprintf(stderr, "kxpeakcount: %s cannot be built\n", argv[1]);
        return 1;
    }
    QCoreApplication::exec();
    return code;
}
