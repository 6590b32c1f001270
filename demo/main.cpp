// The test bench: one main form exercising every component.
#include <QApplication>
#include <QMessageBox>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "Form1.h"
#include "Screenshots.h"
#include "wavviewer/WavViewer.h"
#include "controls/HZDropFiles.h"
#include "kxaudio/Version.h"
#include "mediagraph/MediaFramework.h"
#include "platform/widgets/MessageBox.h"
#include "platform/NativeName.h"
#include "platform/RuntimeFolder.h"
#include "viewers/ViewerCursors.h"

using namespace kx;

namespace {

struct Options {
    QStringList files;   // opened from the command line, first one loaded
    QString mediaFolder;
    QString screenshots;
};

void Fail(const QString& message)
{
    std::fprintf(stderr, "kxtestbench: %s\n", message.toUtf8().constData());
}

// Parsed before the application object exists, so that --help, --version and
// usage errors need no display. Gives an exit code, or -1 to go on.
int ParseOptions(int argc, char** argv, Options& o)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << DecodeNativeName(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Test bench of the kxaudio components."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption media(QStringLiteral("media"), QStringLiteral("Folder of the example media."),
                                   QStringLiteral("dir"));
    const QCommandLineOption shots(QStringLiteral("screenshots"),
                                   QStringLiteral("Load the first file, save a PNG of each page into dir, and quit."),
                                   QStringLiteral("dir"));
    parser.addOptions({help, version, media, shots});
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Media files to open; the first is loaded."),
                                 QStringLiteral("[FILE...]"));
    if (!parser.parse(args)) {
        Fail(parser.errorText() + QStringLiteral("\nTry 'kxtestbench --help'."));
        return 2;
    }
    if (parser.isSet(help)) {
        // The application name comes from argv[0] when there is no application object.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), QStringLiteral("kxtestbench"));
        std::printf("%s", text.toUtf8().constData());
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("kxtestbench %s\n", KXAUDIO_VERSION_STRING);
        return 0;
    }
    for (const QString& f : parser.positionalArguments())
        o.files << AbsoluteNativeName(f);
    o.mediaFolder = parser.value(media);
    o.screenshots = parser.value(shots);
    return -1;
}

// The example files of the media folder; a folder without them is an error
// when the program cannot ask anyone (screenshots), a warning otherwise.
bool ExampleFiles(const Options& o, QStringList& files)
{
    if (o.mediaFolder.isEmpty())
        return true;
    const QDir folder(o.mediaFolder);
    QStringList found;
    for (const char* name : {"melody.wav", "beats.wav"})
        if (folder.exists(QLatin1String(name)))
            found << folder.absoluteFilePath(QLatin1String(name));
    if (found.isEmpty()) {
        Fail(QStringLiteral("--media %1: no example media there (melody.wav, beats.wav)").arg(o.mediaFolder));
        return false;
    }
    files << found;
    return true;
}

// A component's message with the file it is about, where the component has one.
QString WithSubject(QWidget* owner, const QString& text)
{
    if (const auto* viewer = dynamic_cast<const TWavViewer*>(owner); viewer && !viewer->FileName().isEmpty())
        return QStringLiteral("%1: %2").arg(text, viewer->FileName());
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const int code = ParseOptions(argc, argv, options); code >= 0)
        return code;
    QStringList files = options.files;
    const bool screenshots = !options.screenshots.isEmpty();
    if (!ExampleFiles(options, files) && screenshots)
        return 1;
    if (screenshots) {
        QString error;
        if (!PrepareScreenshotFolder(options.screenshots, error)) {
            Fail(error);
            return 1;
        }
    }

    // Qt needs its application object before any cursor image can exist, so
    // it comes first; the units then start in their usual order.
    PrepareRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kxtestbench"));
    QApplication::setApplicationVersion(QStringLiteral(KXAUDIO_VERSION_STRING));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kxtestbench.svg")));

    InitMediaFramework();
    RegisterDropFilesMessage();
    RegisterViewerCursors();

    int code = 0;
    {
        auto form = std::make_unique<TForm1>(files);
        form->show();
        if (screenshots) {
            // Nobody is there to close a message box: messages go to stderr
            // and fail the run.
            bool told = false;
            const MessageBoxHook previous = SetMessageBoxHook([&told](QWidget* owner, const QString& text) {
                Fail(WithSubject(owner, text));
                told = true;
            });
            QString error;
            const QStringList written = SaveScreenshots(*form, options.screenshots, error);
            SetMessageBoxHook(previous);
            if (!error.isEmpty())
                Fail(error);
            for (const QString& f : written)
                std::printf("%s\n", qPrintable(f));
            code = written.isEmpty() || told ? 1 : 0;
        } else {
            // The boxes name the file they are about.
            SetMessageBoxHook([](QWidget* owner, const QString& text) {
                QMessageBox box(QMessageBox::NoIcon, QString(), WithSubject(owner, text), QMessageBox::Ok, owner);
                box.exec();
            });
            if (!options.files.isEmpty())
                QTimer::singleShot(0, form.get(), [f = form.get()] { f->btnLoadBothClick(); });
            code = QApplication::exec();
        }
    }
    ShutdownMediaFramework();
    return code;
}
