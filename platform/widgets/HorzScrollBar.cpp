#include "HorzScrollBar.h"

#include <QScrollBar>
#include <QSignalBlocker>
#include <QWidget>

namespace kx {

HorzScrollBar::HorzScrollBar(QWidget* owner)
    : QObject(owner), owner_(owner), bar_(new QScrollBar(Qt::Horizontal, owner))
{
    bar_->setFocusPolicy(Qt::NoFocus);
    connect(bar_, &QAbstractSlider::actionTriggered, this, &HorzScrollBar::ActionTriggered);
    connect(bar_, &QAbstractSlider::sliderPressed, this, [this] { dragging_ = true; });
    connect(bar_, &QAbstractSlider::sliderReleased, this, [this] {
        dragging_ = false;
        Request(SB_THUMBPOSITION, bar_->sliderPosition());
        Request(SB_ENDSCROLL);
    });
    Sync();
}

int HorzScrollBar::Height() const
{
    return bar_->sizeHint().height();
}

void HorzScrollBar::Sync()
{
    const QSignalBlocker block(bar_);
    bar_->setRange(state_.nMin, state_.MaxPos());
    bar_->setPageStep(static_cast<int>(std::max(1u, state_.nPage)));
    bar_->setSingleStep(1);
    if (!dragging_)
        bar_->setSliderPosition(state_.nPos);
    bar_->setValue(dragging_ ? bar_->sliderPosition() : state_.nPos);
    bar_->setEnabled(!state_.Disabled());
    if (state_.nPos != syncedPos_) {
        syncedPos_ = state_.nPos;
        Q_EMIT positionChanged(syncedPos_);
    }
}

void HorzScrollBar::Layout()
{
    const int h = Height();
    bar_->setGeometry(0, owner_->height() - h, owner_->width(), h);
}

void HorzScrollBar::Request(int code, int trackPos)
{
    if (code == SB_THUMBPOSITION || code == SB_THUMBTRACK)
        state_.nTrackPos = trackPos;
    if (OnRequest)
        OnRequest(code);
    Sync();
}

void HorzScrollBar::ActionTriggered(int action)
{
    int code = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: code = SB_LINELEFT; break;
    case QAbstractSlider::SliderSingleStepAdd: code = SB_LINERIGHT; break;
    case QAbstractSlider::SliderPageStepSub: code = SB_PAGELEFT; break;
    case QAbstractSlider::SliderPageStepAdd: code = SB_PAGERIGHT; break;
    case QAbstractSlider::SliderToMinimum: code = SB_LEFT; break;
    case QAbstractSlider::SliderToMaximum: code = SB_RIGHT; break;
    case QAbstractSlider::SliderMove: code = SB_THUMBTRACK; break;
    default: return;
    }
    const int track = bar_->sliderPosition();
    // The owner decides the position; undo the slider's own move first.
    if (code != SB_THUMBTRACK)
        bar_->setSliderPosition(state_.nPos);
    Request(code, track);
}

} // namespace kx
