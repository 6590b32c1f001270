// The test bench: one main form exercising every component.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <memory>

#include "Form1.h"
#include "Screenshots.h"
#include "controls/HZDropFiles.h"
#include "mediagraph/MediaFramework.h"
#include "viewers/ViewerCursors.h"

using namespace kx;

int main(int argc, char** argv)
{
    // Qt needs its application object before any cursor image can exist, so
    // it comes first; the units then start in their usual order.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kxtestbench"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kxtestbench.svg")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Test bench of the audio components"));
    parser.addHelpOption();
    QCommandLineOption mediaOption(QStringLiteral("media"), QStringLiteral("Folder of the example media."),
                                   QStringLiteral("dir"));
    parser.addOption(mediaOption);
    QCommandLineOption shotsOption(QStringLiteral("screenshots"),
                                   QStringLiteral("Load the first example, save a PNG of each page into dir, and quit."),
                                   QStringLiteral("dir"));
    parser.addOption(shotsOption);
    parser.process(app);

    InitMediaFramework();
    RegisterDropFilesMessage();
    RegisterViewerCursors();

    QStringList examples;
    if (parser.isSet(mediaOption)) {
        const QDir media(parser.value(mediaOption));
        for (const char* name : {"melody.wav", "beats.wav"})
            examples << media.absoluteFilePath(QLatin1String(name));
    }
    int code = 0;
    {
        auto form = std::make_unique<TForm1>(examples);
        form->show();
        if (parser.isSet(shotsOption)) {
            const QStringList files = SaveScreenshots(*form, parser.value(shotsOption));
            for (const QString& f : files)
                std::printf("%s\n", qPrintable(f));
            code = files.isEmpty() ? 1 : 0;
        } else {
            code = QApplication::exec();
        }
    }
    ShutdownMediaFramework();
    return code;
}
