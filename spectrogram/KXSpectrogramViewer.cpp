#include "KXSpectrogramViewer.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <bit>
#include <cmath>

#include "SpectrogramAnalysis.h"
#include "SpectrogramFile.h"
#include "platform/Exception.h"
#include "platform/NativeName.h"
#include "viewers/KXCustomPeakViewer.h"

namespace kx {

namespace {

// Finer columns are never narrower than this many frames.
constexpr uint32_t MinFineHop = 64;

} // namespace

TKXSpectrogramViewer::TKXSpectrogramViewer(QWidget* parent)
    : QWidget(parent), pyramid_(std::make_shared<SpectrogramPyramid>())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(400, 150);
}

TKXSpectrogramViewer::~TKXSpectrogramViewer()
{
    StopLoader();
    StopWorker();
}

void TKXSpectrogramViewer::SetLogarithmicFrequency(bool value)
{
    const FrequencyAxis axis = value ? FrequencyAxis::Logarithmic : FrequencyAxis::Linear;
    if (axis == view_.axis)
        return;
    view_.axis = axis;
    Invalidate();
}

void TKXSpectrogramViewer::SetPointerColor(const QColor& value)
{
    pointerColor_ = value;
    update();
}

void TKXSpectrogramViewer::SetColor(const QColor& value)
{
    color_ = value;
    Invalidate();
}

bool TKXSpectrogramViewer::LoadFromFile(const QString& fileName)
{
    SpectrogramData data;
    if (!ReadSpectrogramFile(fileName, data, lastError_))
        return false;
    SetSpectrogram(std::move(data));
    return true;
}

bool TKXSpectrogramViewer::LoadFromMedia(const QString& media)
{
    SpectrogramData data;
    if (!SpectrogramOfMedia(media, data, lastError_))
        return false;
    SetSpectrogram(std::move(data));
    media_ = media;
    return true;
}

void TKXSpectrogramViewer::LoadFromMediaInBackground(const QString& media)
{
    StopLoader();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    loadCancel_ = cancel;
    loading_ = true;
    loader_ = std::thread([this, media, cancel] {
        SpectrogramData data;
        QString error;
        int shown = -1;
        const auto progress = [&](double done) {
            // Whole percents only: a long file would flood the event queue.
            const int percent = int(done * 100);
            if (percent == shown)
                return;
            shown = percent;
            QMetaObject::invokeMethod(
                this, [this, cancel, percent] {
                    if (!cancel->load())
                        Q_EMIT loadProgress(percent);
                },
                Qt::QueuedConnection);
        };
        std::shared_ptr<const SpectrogramPyramid> pyramid;
        if (SpectrogramOfMedia(media, data, error, cancel.get(), progress))
            pyramid = std::make_shared<SpectrogramPyramid>(std::move(data));
        // Queued to the viewer's thread; the destructor joins this thread first.
        QMetaObject::invokeMethod(
            this,
            [this, cancel, pyramid, media, error] {
                if (cancel->load())
                    return;
                loading_ = false;
                if (!pyramid) {
                    lastError_ = error;
                    Q_EMIT loadFinished(false);
                    return;
                }
                ShowPyramid(pyramid);
                media_ = media;
                Q_EMIT loadFinished(true);
            },
            Qt::QueuedConnection);
    });
}

void TKXSpectrogramViewer::SetSpectrogram(SpectrogramData data)
{
    StopLoader();
    ShowPyramid(std::make_shared<SpectrogramPyramid>(std::move(data)));
}

void TKXSpectrogramViewer::ShowPyramid(std::shared_ptr<const SpectrogramPyramid> pyramid)
{
    StopWorker();
    media_.clear();
    fine_.reset();
    fineFirst_ = fineLast_ = 0;
    fineHop_ = 0;
    pyramid_ = std::move(pyramid);
    Invalidate();
    Q_EMIT spectrogramChanged();
}

void TKXSpectrogramViewer::Clear()
{
    SetSpectrogram(SpectrogramData{});
}

double TKXSpectrogramViewer::DurationSeconds() const
{
    const SpectrogramData& d = pyramid_->Base();
    return d.rate ? double(d.frames) / d.rate : 0.0;
}

void TKXSpectrogramViewer::SetStartSeconds(double seconds)
{
    seconds = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    if (seconds == startSeconds_)
        return;
    startSeconds_ = seconds;
    Invalidate();
    Q_EMIT viewChanged();
}

void TKXSpectrogramViewer::SetSecondsPerPixel(double seconds)
{
    if (!std::isfinite(seconds) || !(seconds > 0) || seconds == secondsPerPixel_)
        return;
    secondsPerPixel_ = seconds;
    Invalidate();
    Q_EMIT viewChanged();
}

void TKXSpectrogramViewer::SetStartSecondsChecked(double seconds)
{
    if (!std::isfinite(seconds))
        throw Exception("startSeconds must be a finite number");
    SetStartSeconds(seconds);
}

void TKXSpectrogramViewer::SetSecondsPerPixelChecked(double seconds)
{
    if (!std::isfinite(seconds) || !(seconds > 0))
        throw Exception("secondsPerPixel must be a positive number");
    SetSecondsPerPixel(seconds);
}

void TKXSpectrogramViewer::SetPlayTime(int64_t time)
{
    if (time == playTime_)
        return;
    playTime_ = time;
    update();
    Q_EMIT playTimeChanged(time);
}

int TKXSpectrogramViewer::PlayColumn() const
{
    // A time on a column's edge belongs to that column, whatever the rounding.
    const double x = (double(playTime_) / 1e7 - startSeconds_) / secondsPerPixel_;
    return int(std::clamp(std::floor(x + 1e-6), -1e9, 1e9));
}

void TKXSpectrogramViewer::LinkToPeakViewer(TKXCustomPeakViewer* viewer)
{
    for (auto& c : links_)
        disconnect(c);
    linked_ = viewer;
    if (!viewer)
        return;
    links_[0] = connect(viewer, &TKXCustomPeakViewer::timeScalerChanged, this, [this] { FollowLinked(); });
    links_[1] = connect(viewer, &TKXCustomPeakViewer::scrollPositionChanged, this, [this] { FollowLinked(); });
    links_[2] = connect(viewer, &TKXCustomPeakViewer::peaksChanged, this, [this] { FollowLinked(); });
    links_[3] = connect(viewer, &TKXCustomPeakViewer::playTimeChanged, this, &TKXSpectrogramViewer::setPlayTime);
    FollowLinked();
    SetPlayTime(viewer->PlayTime());
}

void TKXSpectrogramViewer::FollowLinked()
{
    if (!linked_)
        return;
    const PeakViewModel& m = linked_->Model();
    if (m.SamplesPerPeak == 0 || m.SamplesPerSecond == 0)
        return;
    // The peak viewer's column x shows peak ScrollPos + x * TimeScaler.
    const double secondsPerPeak = double(m.SamplesPerPeak) / m.SamplesPerSecond;
    SetSecondsPerPixel(double(linked_->TimeScaler()) * secondsPerPeak);
    SetStartSeconds(double(linked_->ScrollPos()) * secondsPerPeak);
}

void TKXSpectrogramViewer::Invalidate()
{
    dirty_ = true;
    update();
}

void TKXSpectrogramViewer::RenderPicture()
{
    dirty_ = false;
    const qreal ratio = devicePixelRatioF();
    const QSize size(std::max(1, int(std::ceil(width() * ratio))), std::max(1, int(std::ceil(height() * ratio))));
    if (picture_.size() != size)
        picture_ = QImage(size, QImage::Format_RGB32);
    picture_.setDevicePixelRatio(1);
    const SpectrogramData& base = pyramid_->Base();
    view_.firstFrame = startSeconds_ * base.rate;
    view_.framesPerPixel = secondsPerPixel_ * base.rate / ratio;
    PaintSpectrogram(picture_, *pyramid_, view_, fine_.get(), color_.rgb());
    picture_.setDevicePixelRatio(ratio);
    if (!media_.isEmpty() && base.rate && view_.framesPerPixel < base.hop)
        RequestFineColumns();
}

void TKXSpectrogramViewer::RequestFineColumns()
{
    const SpectrogramData& base = pyramid_->Base();
    // A power of two of frames per device pixel, finer than the stored columns.
    const auto perPixel = uint32_t(std::max(1.0, view_.framesPerPixel));
    const uint32_t hop = std::clamp(std::bit_floor(perPixel), MinFineHop, base.hop / 2);
    if (!(view_.firstFrame < double(base.frames)))
        return;
    const auto first = uint64_t(std::max(0.0, view_.firstFrame));
    const auto shown = uint64_t(std::ceil(picture_.width() * view_.framesPerPixel));
    const uint64_t last = std::min<uint64_t>(base.frames, first + shown + hop);
    if (last <= first)
        return;
    const SpectrogramData* f = fine_.get();
    if (f && f->hop == hop && f->firstFrame <= first && f->firstFrame + f->frames >= last)
        return;
    if (fineHop_ == hop && fineFirst_ == first && fineLast_ == last)
        return;  // asked already
    StopWorker();
    fineFirst_ = first;
    fineLast_ = last;
    fineHop_ = hop;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    // The stored layout without its columns.
    SpectrogramData layout;
    layout.bands = base.bands;
    layout.lowHz = base.lowHz;
    layout.floorDb = base.floorDb;
    layout.window = base.window;
    worker_ = std::thread([this, media = media_, hop, first, last, cancel = cancel_, layout, rate = base.rate] {
        auto data = std::make_shared<SpectrogramData>(layout);
        QString error;
        if (!AnalyseMedia(media, *data, error, hop, first, last, cancel.get()) || data->rate != rate)
            return;
        // Queued to the viewer's thread; the destructor joins this thread first.
        QMetaObject::invokeMethod(
            this,
            [this, data, cancel] {
                if (cancel->load())
                    return;
                fine_ = data;
                Invalidate();
                Q_EMIT fineColumnsReady();
            },
            Qt::QueuedConnection);
    });
}

void TKXSpectrogramViewer::StopWorker()
{
    if (cancel_)
        cancel_->store(true);
    if (worker_.joinable())
        worker_.join();
}

void TKXSpectrogramViewer::StopLoader()
{
    if (loadCancel_)
        loadCancel_->store(true);
    if (loader_.joinable())
        loader_.join();
    loading_ = false;
}

void TKXSpectrogramViewer::DrawPointer(QPainter& painter) const
{
    const int x = PlayColumn();
    if (x >= 0 && x < width())
        painter.fillRect(QRectF(x, 0, 1, height()), pointerColor_);
}

QImage TKXSpectrogramViewer::Picture()
{
    if (dirty_ || picture_.isNull())
        RenderPicture();
    QImage out = picture_.copy();
    QPainter painter(&out);
    DrawPointer(painter);
    return out;
}

void TKXSpectrogramViewer::paintEvent(QPaintEvent*)
{
    if (dirty_ || picture_.isNull() || !qFuzzyCompare(picture_.devicePixelRatio(), devicePixelRatioF()))
        RenderPicture();
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), picture_);
    DrawPointer(painter);
}

void TKXSpectrogramViewer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Invalidate();
}

} // namespace kx
