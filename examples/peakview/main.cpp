// kxpeakview: the smallest program that uses the kxaudio components. The peak
// builder reads a media file into memory and a peak viewer shows the result.
//
//   kxpeakview FILE              open a window with the peaks of FILE
//   kxpeakview FILE --save OUT   save the viewer as a PNG image and quit
#include <QApplication>
#include <QBuffer>
#include <QCommandLineParser>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "kxaudio/Version.h"
#include "mediagraph/MediaFramework.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/OutputFile.h"
#include "platform/MemoryStream.h"
#include "platform/RuntimeFolder.h"
#include "viewers/KXAudioPeakViewer.h"

int main(int argc, char** argv)
{
    // Without a login session Qt would warn about the missing runtime folder.
    kx::PrepareRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kxpeakview"));
    QApplication::setApplicationVersion(QStringLiteral(KXAUDIO_VERSION_STRING));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the peaks of a media file."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption save(QStringLiteral("save"), QStringLiteral("Save a PNG of the viewer and quit."),
                                  QStringLiteral("out.png"));
    parser.addOption(save);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Audio or video file."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString media = parser.positionalArguments().first();

    kx::InitMediaFramework();
    kx::TKXAudioPeakViewer viewer;
    viewer.setWindowTitle(media);
    viewer.resize(800, 200);

    // Peaks stay in memory: nothing is written beside the media file.
    kx::TKXPeakBuilder builder;
    builder.SetSaveToPeakFiles(false);
    int exitCode = 0;
    const auto show = [&](QObject*, int index, const QString&, const QString&) {
        kx::TMemoryStream* stream = nullptr;
        if (!builder.GetStreamByIndex(index, stream) || !viewer.LoadFromStream(stream)) {
            std::fprintf(stderr, "kxpeakview: the peaks of %s cannot be shown\n", qPrintable(media));
            exitCode = 1;
        }
        if (parser.isSet(save)) {
            QImage image(viewer.ClientWidth(), viewer.ClientHeight(), QImage::Format_RGB32);
            QPainter painter(&image);
            viewer.PaintPeaks(true, &painter);
            painter.end();
            // Through the library's output path: never over the media or a file of another kind.
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            kx::OutputRules rules;
            rules.kind = kx::FileKind::Picture;
            rules.Input(media);
            QString error;
            if (exitCode == 0 && (!image.save(&buffer, "PNG") ||
                                  !kx::WriteOutputFile(parser.value(save), rules, {png}, error))) {
                std::fprintf(stderr, "kxpeakview: %s\n", qPrintable(error));
                exitCode = 1;
            }
            QTimer::singleShot(0, &app, [&] { QApplication::exit(exitCode); });
        }
    };
    builder.OnPeakComplete = show;
    builder.OnPeakNew = show;
    builder.OnPeakFailed = [&](QObject*, int, const QString&, const QString&) {
        std::fprintf(stderr, "kxpeakview: %s: %s\n", qPrintable(media), qPrintable(builder.LastBuildFailure()));
        QTimer::singleShot(0, &app, [] { QApplication::exit(1); });
    };
    builder.OnFileNotExist = [&](QObject*, const QString&) {
        std::fprintf(stderr, "kxpeakview: %s does not exist\n", qPrintable(media));
        QTimer::singleShot(0, &app, [] { QApplication::exit(1); });
    };

    if (parser.isSet(save))
        viewer.setAttribute(Qt::WA_DontShowOnScreen);
    viewer.show();
    if (!builder.AppendFilename(media))
        return 1;
    builder.StartBuild();
    const int code = QApplication::exec();
    kx::ShutdownMediaFramework();
    return code;
}
