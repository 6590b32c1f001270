// The program of the "Getting started" page: the peaks of a media file are
// built (or read from its peak file), shown, and played with a transport bar.
//
//   kxgettingstarted MEDIA
#include <QApplication>
#include <QMessageBox>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

#include "mediagraph/MediaFramework.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/MemoryStream.h"
#include "platform/RuntimeFolder.h"
#include "playback/FollowPlayer.h"
#include "playback/KXAudioPlayer.h"
#include "playback/KXPlayerControls.h"
#include "viewers/KXAudioPeakViewer.h"

int main(int argc, char** argv)
{
    kx::PrepareRuntimeFolder();
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MEDIA\n", argv[0]);
        return 2;
    }
    const QString media = QString::fromLocal8Bit(argv[1]);
    kx::InitMediaFramework();

    QWidget window;
    auto* viewer = new kx::TKXAudioPeakViewer(&window);
    auto* bar = new kx::TKXPlayerControls(&window);
    bar->SetVisibleButtons({kx::btGoToStart, kx::btStepBack, kx::btStop, kx::btPlay, kx::btStepFrwd, kx::btGoToEnd});
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(viewer, 1);
    layout->addWidget(bar);

    // 1. The builder: its signals say when a file's peaks are ready.
    kx::TKXPeakBuilder builder;
    const auto show = [&builder, &window, viewer, media](int index) {
        kx::TMemoryStream* stream = nullptr;
        if (builder.GetStreamByIndex(index, stream) && viewer->LoadFromStream(stream))
            window.setWindowTitle(media);
    };
    QObject::connect(&builder, &kx::TKXPeakBuilder::peakComplete, viewer, show);  // built now
    QObject::connect(&builder, &kx::TKXPeakBuilder::peakNew, viewer, show);       // read from its peak file
    QObject::connect(&builder, &kx::TKXPeakBuilder::progress, &window, [&window](int percent) {
        window.setWindowTitle(QStringLiteral("Building peaks: %1%").arg(percent));
    });
    QObject::connect(&builder, &kx::TKXPeakBuilder::peakFailed, &window, [&builder, &window] {
        QMessageBox::warning(&window, QString(), builder.LastBuildFailure());
    });

    // 2. The transport bar drives the player and shows its state; the viewer's
    //    play pointer follows the player.
    kx::TKXAudioFilePlayer player;
    bar->SetAudioPlayer(&player);
    kx::FollowPlayer(viewer, &player);

    if (!builder.AppendFilename(media) || !player.LoadMedia(media)) {
        std::fprintf(stderr, "%s cannot be played\n", qPrintable(media));
        return 1;
    }
    builder.StartBuild();
    window.resize(800, 240);
    window.show();
    const int code = QApplication::exec();
    kx::ShutdownMediaFramework();
    return code;
}
