#include "RegionsPanel.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "viewers/KXCustomPeakViewer.h"

namespace kx {

RegionsPanel::RegionsPanel(TKXCustomPeakViewer* viewer, QWidget* parent)
    : QWidget(parent), viewer_(viewer), status_(new QLabel(this))
{
    auto* samples = new QCheckBox(tr("Regions"), this);
    samples->setToolTip(tr("Shows sample regions and points over the peaks. Drag an editable region's edge or inside,\n"
                           "Insert adds a region over the marked range, Delete removes the selected one,\n"
                           "Ctrl+arrows nudge it by a peak."));
    auto* load = new QPushButton(tr("Load regions..."), this);
    auto* save = new QPushButton(tr("Save regions..."), this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(samples);
    row->addWidget(load);
    row->addWidget(save);
    row->addWidget(status_, 1);
    connect(samples, &QCheckBox::toggled, this, &RegionsPanel::ShowSamples);
    connect(load, &QPushButton::clicked, this, &RegionsPanel::Load);
    connect(save, &QPushButton::clicked, this, &RegionsPanel::Save);
    connect(viewer_, &TKXCustomPeakViewer::regionClicked, this,
            [this](const QString& id) { Report(tr("Clicked %1").arg(id)); });
    connect(viewer_, &TKXCustomPeakViewer::pointClicked, this,
            [this](const QString& id) { Report(tr("Clicked %1").arg(id)); });
    connect(viewer_, &TKXCustomPeakViewer::regionChanged, this, [this](const QString& id) {
        if (const PeakRegion* r = viewer_->RegionSet().FindRegion(id))
            Report(tr("%1: %2 s to %3 s").arg(id).arg(r->Start, 0, 'f', 3).arg(r->End, 0, 'f', 3));
    });
}

void RegionsPanel::ShowSamples(bool on)
{
    viewer_->SetRegionInsertKey(on);
    viewer_->ClearRegions();
    if (!on)
        return;
    const double seconds = viewer_->DurationMs() > 0 ? viewer_->DurationMs() / 1000.0 : 60.0;
    const QColor colors[] = {QColor(0x4a, 0x90, 0xd9), QColor(0xe6, 0x7e, 0x22), QColor(0x27, 0xae, 0x60)};
    for (int i = 0; i < 3; ++i) {
        PeakRegion r;
        r.Start = seconds * (0.1 + 0.3 * i);
        r.End = r.Start + seconds * 0.15;
        r.Color = colors[i];
        r.Label = tr("Region %1").arg(i + 1);
        r.Editable = i != 2;
        viewer_->AddRegion(r);
        PeakPoint p;
        p.Time = r.End + seconds * 0.05;
        p.Label = tr("Point %1").arg(i + 1);
        p.Editable = true;
        viewer_->AddTimePoint(p);
    }
}

void RegionsPanel::Load()
{
    const QString name = QFileDialog::getOpenFileName(this, tr("Load regions"), {}, tr("JSON (*.json);;All files (*)"));
    if (name.isEmpty())
        return;
    QString error;
    Report(viewer_->LoadRegionsFile(name, &error) ? tr("Loaded %1 regions, %2 points")
                                                        .arg(viewer_->RegionSet().Regions().size())
                                                        .arg(viewer_->RegionSet().Points().size())
                                                  : error);
}

void RegionsPanel::Save()
{
    const QString name = QFileDialog::getSaveFileName(this, tr("Save regions"), {}, tr("JSON (*.json)"));
    if (name.isEmpty())
        return;
    QString error;
    Report(viewer_->SaveRegionsFile(name, &error) ? tr("Saved") : error);
}

void RegionsPanel::Report(const QString& text)
{
    status_->setText(text);
    status_->setToolTip(text);
}

} // namespace kx
