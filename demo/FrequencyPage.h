#pragma once
// The "Spectrogram" page: a peak viewer and the spectrogram linked to it, for
// the media the form works on. The spectrogram loads in the background.
#include <QString>
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace kx {

class TKXAudioPeakViewer;
class TKXSpectrogramViewer;

class FrequencyPage : public QWidget
{
    Q_OBJECT
public:
    // media gives the form's current media; peaksOf the peak file the
    // builder makes for a media file.
    FrequencyPage(std::function<QString()> media, std::function<QString(const QString&)> peaksOf,
                    QWidget* parent = nullptr);

    // Shows the media: its peaks when the peak file is there, and its
    // spectrogram (from its side file or analysed in the background).
    void ShowMedia(const QString& media);
    // The media shown or being loaded.
    QString Media() const { return media_; }

    TKXAudioPeakViewer* Peaks = nullptr;
    TKXSpectrogramViewer* Spectrogram = nullptr;
    QCheckBox* cbLogFrequency = nullptr;
    QCheckBox* cbRms = nullptr;
    QSlider* tbZoom = nullptr;
    QPushButton* btnReload = nullptr;
    QLabel* lblStatus = nullptr;

protected:
    // Shows the form's current media when the page comes up and it changed.
    void showEvent(QShowEvent* event) override;

private:
    std::function<QString()> currentMedia_;
    std::function<QString(const QString&)> peaksOf_;
    QString media_;
};

} // namespace kx
