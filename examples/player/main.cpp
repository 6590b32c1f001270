// kxplayer: the components wired with Qt signals. The peak builder reads a
// media file into memory, a peak viewer shows it, an audio player plays it
// with a transport bar, and the viewer's play pointer follows the player.
//
//   kxplayer FILE                   open a window to play FILE
//   kxplayer FILE --quit-after MS   press play once the peaks are shown and
//                                   quit MS milliseconds later; the exit code
//                                   tells whether it played
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "kxaudio/Version.h"
#include "mediagraph/MediaFramework.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/MemoryStream.h"
#include "platform/RuntimeFolder.h"
#include "playback/FollowPlayer.h"
#include "playback/KXAudioPlayer.h"
#include "playback/KXPlayerControls.h"
#include "viewers/KXAudioPeakViewer.h"

namespace {

void Fail(const QString& why)
{
    std::fprintf(stderr, "kxplayer: %s\n", qPrintable(why));
    QTimer::singleShot(0, qApp, [] { QApplication::exit(1); });
}

} // namespace

int main(int argc, char** argv)
{
    kx::PrepareRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kxplayer"));
    QApplication::setApplicationVersion(QStringLiteral(KXAUDIO_VERSION_STRING));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays a media file over its peaks."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("Play once the peaks are shown, quit after ms."),
                                       QStringLiteral("ms"));
    parser.addOption(quitAfter);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Audio or video file."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString media = parser.positionalArguments().first();
    kx::InitMediaFramework();

    QWidget window;
    window.setWindowTitle(media);
    window.resize(800, 240);
    auto* viewer = new kx::TKXAudioPeakViewer(&window);
    viewer->setGeometry(0, 0, 800, 200);
    auto* bar = new kx::TKXPlayerControls(&window);
    bar->move(4, 204);
    kx::TKXPeakBuilder builder;
    builder.SetSaveToPeakFiles(false); // peaks stay in memory
    kx::TKXAudioFilePlayer player;

    // Peaks reach the viewer when built, or at once from an existing peak file.
    const auto show = [&](int index) {
        kx::TMemoryStream* stream = nullptr;
        if (!builder.GetStreamByIndex(index, stream) || !viewer->LoadFromStream(stream))
            Fail(QStringLiteral("the peaks of %1 cannot be shown").arg(media));
    };
    QObject::connect(&builder, &kx::TKXPeakBuilder::peakComplete, viewer, show);
    QObject::connect(&builder, &kx::TKXPeakBuilder::peakNew, viewer, show);
    QObject::connect(&builder, &kx::TKXPeakBuilder::peakFailed, &app,
                     [&] { Fail(media + QStringLiteral(": ") + builder.LastBuildFailure()); });

    bar->SetAudioPlayer(&player);      // the bar drives the player and follows its state
    kx::FollowPlayer(viewer, &player); // the play pointer follows the player
    QObject::connect(&player, &kx::TKXAudioFilePlayer::complete, viewer, [viewer] { viewer->ScrollToSeconds(0); });

    // For CI: play once the peaks are shown (connected before the build
    // starts, since peaks found in a peak file are reported at once).
    if (parser.isSet(quitAfter)) {
        window.setAttribute(Qt::WA_DontShowOnScreen);
        const int ms = parser.value(quitAfter).toInt();
        const auto play = [&, ms] {
            bar->Button(kx::btPlay)->click();
            QTimer::singleShot(ms, &app, [&] {
                const bool played = player.State() == kx::psPlay && player.Position() > 0;
                std::printf("%s: %d ms of peaks, played to %lld ms, pointer at x=%d\n", qPrintable(media),
                            viewer->DurationMs(), static_cast<long long>(player.Position() / 10000),
                            viewer->PointerX());
                QApplication::exit(played ? 0 : 1);
            });
        };
        QObject::connect(&builder, &kx::TKXPeakBuilder::peakComplete, &app, play);
        QObject::connect(&builder, &kx::TKXPeakBuilder::peakNew, &app, play);
    }
    if (!player.LoadMedia(media) || !builder.AppendFilename(media)) {
        std::fprintf(stderr, "kxplayer: %s cannot be played\n", qPrintable(media));
        return 1;
    }
    builder.StartBuild();
    window.show();
    const int code = QApplication::exec();
    kx::ShutdownMediaFramework();
    return code;
}
