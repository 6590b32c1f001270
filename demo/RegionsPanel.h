#pragma once
// A strip of controls for the peak viewer's labelled regions: sample regions
// on and off, and loading and saving them as peaks.js JSON.
#include <QWidget>

class QLabel;

namespace kx {

class TKXCustomPeakViewer;

class RegionsPanel : public QWidget
{
    Q_OBJECT
public:
    RegionsPanel(TKXCustomPeakViewer* viewer, QWidget* parent);

private:
    void ShowSamples(bool on);
    void Load();
    void Save();
    void Report(const QString& text);

    TKXCustomPeakViewer* viewer_;
    QLabel* status_;
};

} // namespace kx
