#include "Screenshots.h"

#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTabWidget>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "Form1.h"
#include "FrequencyPage.h"
#include "spectrogram/KXSpectrogramViewer.h"
#include "peaks/KXPeakBuilder.h"
#include "viewers/KXAudioPeakViewer.h"
#include "platform/NativeName.h"
#include "platform/OutputFile.h"
#include "viewers/KXPeakEffectViewer.h"

namespace kx {

namespace {

void PumpUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

} // namespace

bool PrepareScreenshotFolder(const QString& folder, QString& error)
{
    const QByteArray name = EncodeNativeName(folder);
    if (!QDir().mkpath(folder) && !StatNative(folder).isDir) {
        error = StatNative(folder).exists ? QStringLiteral("--screenshots %1: is not a folder").arg(folder)
                                          : QStringLiteral("--screenshots %1: cannot be made").arg(folder);
        return false;
    }
    if (!StatNative(folder).isDir) {
        error = QStringLiteral("--screenshots %1: is not a folder").arg(folder);
        return false;
    }
    if (access(name.constData(), W_OK | X_OK) != 0) {
        error = QStringLiteral("--screenshots %1: cannot be written: %2")
                    .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

QStringList SaveScreenshots(TForm1& form, const QString& folder, QString& error)
{
    if (!PrepareScreenshotFolder(folder, error))
        return {};
    const QString media = form.cbAudioFilename->currentText();
    if (!media.isEmpty()) {
        form.btnLoadBothClick();
        PumpUntil([&] { return form.KXPeakBuilder1->BuildState() != bsBuilding; }, 30000);
        const QString peaks = ChangeFileExt(media, form.KXPeakBuilder1->PeakExtension());
        form.Viewer->SetPeaksFileName(peaks);
        form.Viewer->SetMark(3000, 7000);
        form.EffectViewer->Clear();
        form.EffectViewer->SetPeaksFileName(peaks);
        form.EffectViewer->InitPoints();
        // A few envelope points, so the picture shows lines and discs.
        const int64_t range = form.EffectViewer->PointRange();
        int index = 0;
        form.EffectViewer->AddPoint(fcA, ecBoth, index, 20000, int(range / 4));
        form.EffectViewer->AddPoint(fcA, ecBoth, index, -12000, int(range / 2));
        form.EffectViewer->AddPoint(fcB, ecBoth, index, -25000, int(range / 3));
        form.EffectViewer->PaintPeaks(true, nullptr);
    }
    QStringList written;
    for (int i = 0; i < form.PageControl1->count(); ++i) {
        form.PageControl1->setCurrentIndex(i);
        PumpUntil([] { return false; }, 150);
        // The spectrogram is analysed in the background once its page shows.
        if (form.PageControl1->currentWidget() == form.SpectrogramTab) {
            if (form.SpectrogramTab->Media() != media)
                form.SpectrogramTab->ShowMedia(media);  // no show event for a form never shown
            PumpUntil([&] { return !form.SpectrogramTab->Spectrogram->Loading(); }, 30000);
        }
        QString caption = form.PageControl1->tabText(i);
        caption.replace(QLatin1Char(' '), QLatin1Char('-'));
        const QString path = QDir(folder).absoluteFilePath(QStringLiteral("page-%1-%2.png").arg(i).arg(caption));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        OutputRules rules;
        rules.kind = FileKind::Picture;
        if (!form.grab().save(&buffer, "PNG") || !WriteOutputFile(path, rules, {png}, error)) {
            if (error.isEmpty())
                error = QStringLiteral("%1: the picture cannot be encoded").arg(path);
            return {};
        }
        written << path;
    }
    return written;
}

} // namespace kx
