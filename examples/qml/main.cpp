// kxqmlplayer: the components in Qt Quick. A peak builder reads a media file
// into memory, a WaveformView shows it (while it is built, too), an audio
// player plays it and the view's play pointer follows the player; all of it
// in main.qml, through `import KXAudio`.
//
//   kxqmlplayer FILE                   open a window to play FILE
//   kxqmlplayer FILE --quit-after MS   play once the peaks are shown and quit
//                                      MS milliseconds later; the exit code
//                                      tells whether it played
#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QVariantMap>
#include <cstdio>

#include "kxaudio/Version.h"
#include "platform/RuntimeFolder.h"

int main(int argc, char** argv)
{
    kx::PrepareRuntimeFolder();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("kxqmlplayer"));
    QGuiApplication::setApplicationVersion(QStringLiteral(KXAUDIO_VERSION_STRING));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays a media file over its peaks, in Qt Quick."));
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
    // Without a GPU (offscreen, CI) the scene graph draws in software.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    QQmlApplicationEngine engine;
    engine.setInitialProperties({
        {QStringLiteral("media"), QFileInfo(parser.positionalArguments().first()).absoluteFilePath()},
        {QStringLiteral("quitAfterMs"), parser.isSet(quitAfter) ? parser.value(quitAfter).toInt() : 0},
    });
    engine.load(QUrl(QStringLiteral("qrc:/kxqmlplayer/main.qml")));
    if (engine.rootObjects().isEmpty()) {
        std::fprintf(stderr, "kxqmlplayer: the window could not be loaded (is KXAudio on the QML import path?)\n");
        return 1;
    }
    return QGuiApplication::exec();
}
