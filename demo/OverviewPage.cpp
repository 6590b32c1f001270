#include "OverviewPage.h"

#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "viewers/KXAudioPeakViewer.h"
#include "viewers/OverviewLink.h"

namespace kx {

namespace {

// Slider positions are quarter steps of doubling from a quarter peak per column.
float ScalerAt(int position)
{
    return 0.25f * std::exp2(float(position) / 4.0f);
}

} // namespace

OverviewPage::OverviewPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tshOverview"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Whole file: click or drag the box to move the view below")));
    Overview = new TKXAudioPeakViewer;
    Overview->setObjectName(QStringLiteral("OverviewViewer"));
    Overview->setMinimumHeight(130);
    Overview->SetPeakReduction(prMinMax);
    Overview->SetTimeAxisHeight(18);
    layout->addWidget(Overview);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Zoom")));
    ZoomSlider = new QSlider(Qt::Horizontal);
    ZoomSlider->setRange(0, 72);
    ZoomSlider->setValue(8);  // a peak a column
    row->addWidget(ZoomSlider, 1);
    ZoomLabel = new QLabel;
    ZoomLabel->setMinimumWidth(120);
    row->addWidget(ZoomLabel);
    layout->addLayout(row);
    Zoom = new TKXAudioPeakViewer;
    Zoom->setObjectName(QStringLiteral("ZoomViewer"));
    Zoom->SetPeakReduction(prMinMax);
    Zoom->SetTimeAxisHeight(22);
    Zoom->SetAutoMove(true);
    layout->addWidget(Zoom, 1);
    Link = LinkOverview(Overview, Zoom);
    connect(ZoomSlider, &QSlider::valueChanged, this, &OverviewPage::ZoomSliderChange);
    connect(Zoom, &TKXCustomPeakViewer::timeScalerChanged, this, &OverviewPage::ShowZoom);
    ZoomSliderChange();
    ShowZoom();
}

void OverviewPage::ZoomSliderChange()
{
    Zoom->SetTimeScaler(ScalerAt(ZoomSlider->value()));
}

void OverviewPage::ShowZoom()
{
    ZoomLabel->setText(tr("%1 peaks/pixel").arg(double(Zoom->TimeScaler()), 0, 'g', 4));
}

void OverviewPage::Follow(TKXCustomPeakViewer* source)
{
    if (!source)
        return;
    connect(source, &TKXCustomPeakViewer::peaksChanged, this, [this, source] { CopyViewerPeaks(source, Zoom); });
    connect(source, &TKXCustomPeakViewer::playTimeChanged, Zoom, &TKXCustomPeakViewer::setPlayTime);
    connect(source, &TKXCustomPeakViewer::markChanged, this,
            [this, source] { Zoom->SetMark(source->MarkStart(), source->MarkEnd()); });
    CopyViewerPeaks(source, Zoom);
}

} // namespace kx
