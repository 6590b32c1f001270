// kxdesignercheck PLUGIN_FOLDER: loads Form.ui through QUiLoader with the
// Designer plugins Qt finds (QT_PLUGIN_PATH) and fails unless every kxaudio
// widget was made by the plugin in PLUGIN_FOLDER, with the form's values.
#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QUiLoader>
#include <QWidget>
#include <cstdio>
#include <memory>

namespace {

// The files this process has mapped whose path contains part.
QStringList Mapped(const QString& part)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    QStringList found;
    if (!maps.open(QIODevice::ReadOnly))
        return found;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QString path = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
        if (line.contains('/') && path.contains(part) && !found.contains(path))
            found.append(path);
    }
    return found;
}

int Fail(const QString& why)
{
    std::fprintf(stderr, "kxdesignercheck: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2)
        return Fail(QStringLiteral("usage: kxdesignercheck PLUGIN_FOLDER"));
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).canonicalPath();

    QUiLoader loader;
    QFile file(QStringLiteral(KX_CHECK_FORM));
    if (!file.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read ") + file.fileName());
    std::unique_ptr<QWidget> form(loader.load(&file));
    if (!form)
        return Fail(QStringLiteral("the form did not load: ") + loader.errorString());

    const char* const classes[][2] = {
        {"peakViewer", "kx::TKXAudioPeakViewer"}, {"customPeakViewer", "kx::TKXCustomPeakViewer"},
        {"effectViewer", "kx::TKXPeakEffectViewer"}, {"wavViewer", "kx::TWavViewer"},
        {"playerControls", "kx::TKXPlayerControls"}, {"floatEdit", "kx::TKXFloatEdit"},
        {"videoPanel", "kx::TKXCommonPlayer"},
    };
    for (const auto& [object, cls] : classes) {
        QWidget* widget = form->findChild<QWidget*>(QString::fromLatin1(object));
        if (!widget || !widget->inherits(cls))
            return Fail(QStringLiteral("%1 is not a %2 but %3")
                            .arg(QLatin1String(object), QLatin1String(cls),
                                 widget ? QLatin1String(widget->metaObject()->className()) : QLatin1String("missing")));
    }
    const QColor peaks = form->findChild<QWidget*>(QStringLiteral("peakViewer"))->property("peaksColor").value<QColor>();
    if (peaks != QColor(255, 0, 0))
        return Fail(QStringLiteral("peaksColor is %1, the form says #ff0000").arg(peaks.name()));
    if (form->findChild<QWidget*>(QStringLiteral("wavViewer"))->property("secondsToShow").toInt() != 10)
        return Fail(QStringLiteral("secondsToShow is not the form's 10"));

    // The widgets came from the plugin of that folder, which found the
    // libraries of its own prefix.
    const QStringList plugins = Mapped(QStringLiteral("libkxaudiodesigner"));
    if (plugins.size() != 1 || !plugins[0].startsWith(folder + QLatin1Char('/')))
        return Fail(QStringLiteral("the plugin loaded is not the one in %1: %2").arg(folder, plugins.join(u' ')));
    QDir prefixLib(folder);
    prefixLib.cd(QStringLiteral("../../.."));
    for (const QString& lib : Mapped(QStringLiteral("libkxaudio-")))
        if (!lib.startsWith(prefixLib.canonicalPath() + QLatin1Char('/')))
            return Fail(QStringLiteral("%1 is not the library beside the plugin").arg(lib));
    form->show();
    std::printf("kxdesignercheck: %zu widgets from %s\n", std::size(classes), qPrintable(plugins[0]));
    return 0;
}
