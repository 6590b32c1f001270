#include "FrequencyPage.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "platform/NativeName.h"
#include "spectrogram/KXSpectrogramViewer.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

FrequencyPage::FrequencyPage(std::function<QString()> media, std::function<QString(const QString&)> peaksOf,
                                 QWidget* parent)
    : QWidget(parent), currentMedia_(std::move(media)), peaksOf_(std::move(peaksOf))
{
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    cbLogFrequency = new QCheckBox(tr("Logarithmic frequency"), this);
    cbLogFrequency->setChecked(true);
    cbRms = new QCheckBox(tr("RMS"), this);
    cbRms->setChecked(true);
    tbZoom = new QSlider(Qt::Horizontal, this);
    // Peaks per pixel column, in quarters, as on the viewer page.
    tbZoom->setRange(1, 400);
    tbZoom->setValue(4);
    tbZoom->setToolTip(tr("Zoom"));
    btnReload = new QPushButton(tr("Reload"), this);
    lblStatus = new QLabel(this);
    bar->addWidget(cbLogFrequency);
    bar->addWidget(cbRms);
    bar->addWidget(new QLabel(tr("Zoom"), this));
    bar->addWidget(tbZoom, 1);
    bar->addWidget(btnReload);
    layout->addLayout(bar);
    layout->addWidget(lblStatus);

    Peaks = new TKXAudioPeakViewer(this);
    Peaks->setMinimumHeight(120);
    Peaks->SetPaintCursor(true);
    // Loudness inside the extremes (the builder writes it beside the peak file) and a time scale.
    Peaks->SetShowRms(true);
    Peaks->SetTimeAxisHeight(20);
    Spectrogram = new TKXSpectrogramViewer(this);
    Spectrogram->setMinimumHeight(200);
    layout->addWidget(Peaks, 1);
    layout->addWidget(Spectrogram, 2);
    Spectrogram->LinkToPeakViewer(Peaks);

    connect(cbLogFrequency, &QCheckBox::toggled, Spectrogram, &TKXSpectrogramViewer::setLogarithmicFrequency);
    connect(cbRms, &QCheckBox::toggled, Peaks, &TKXAudioPeakViewer::setShowRms);
    connect(tbZoom, &QSlider::valueChanged, this,
            [this](int value) { Peaks->SetTimeScaler(static_cast<float>(value) / 4.0f); });
    connect(btnReload, &QPushButton::clicked, this, [this] { ShowMedia(currentMedia_()); });
    connect(Spectrogram, &TKXSpectrogramViewer::loadProgress, this, [this](int percent) {
        lblStatus->setText(tr("Analysing %1: %2 %").arg(QFileInfo(media_).fileName()).arg(percent));
    });
    connect(Spectrogram, &TKXSpectrogramViewer::loadFinished, this, [this](bool ok) {
        const QString name = QFileInfo(media_).fileName();
        lblStatus->setText(ok ? tr("%1: %2 s, %3 bands")
                                    .arg(name)
                                    .arg(Spectrogram->DurationSeconds(), 0, 'f', 1)
                                    .arg(Spectrogram->Pyramid().Base().bands)
                              : tr("%1: %2").arg(name, Spectrogram->LastError()));
    });
}

void FrequencyPage::ShowMedia(const QString& media)
{
    media_ = media;
    if (media.isEmpty()) {
        lblStatus->setText(tr("No media: choose one on the \"Peaks test\" page."));
        return;
    }
    // The peaks come from the builder; without them the spectrogram alone is shown.
    const QString peaks = peaksOf_(media);
    if (StatNative(peaks).isFile)
        Peaks->SetPeaksFileName(peaks);
    else
        Peaks->Clear();
    lblStatus->setText(tr("Loading %1").arg(QFileInfo(media).fileName()));
    Spectrogram->LoadFromMediaInBackground(media);
}

void FrequencyPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    const QString media = currentMedia_();
    if (media != media_)
        ShowMedia(media);
}

} // namespace kx
