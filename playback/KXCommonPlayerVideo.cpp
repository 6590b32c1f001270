// The panel's video window: the overlay it draws in, zoom, and full screen.
#include "KXCommonPlayer.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <gst/gst.h>
#include <gst/video/videooverlay.h>

#include "mediagraph/GraphHelpers.h"
#include "platform/QtInput.h"

namespace kx {

namespace {

// Without a screen (offscreen platform) full screen takes a common size.
QRect PrimaryScreenGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

// The time panel's background shows the renderer's colour key.
void SetBackground(QWidget& widget, TColor color)
{
    QPalette p = widget.palette();
    p.setColor(QPalette::Window, ToQColor(color));
    widget.setPalette(p);
}

} // namespace

GstElement* TKXCommonPlayer::OverlayElement() const
{
    return renderer_ && GST_IS_VIDEO_OVERLAY(renderer_) ? renderer_ : nullptr;
}

bool TKXCommonPlayer::RendererLinked() const
{
    if (!renderer_)
        return false;
    GstPad* pad = gst_element_get_static_pad(renderer_, "sink");
    if (!pad)
        return false;
    const bool linked = gst_pad_is_linked(pad);
    gst_object_unref(pad);
    return linked;
}

bool TKXCommonPlayer::SetOwnerWindow(QWidget* window, bool& notConnected)
{
    notConnected = !RendererLinked();
    GstElement* overlay = OverlayElement();
    if (overlay && window)
        gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(overlay), window->winId());
    return overlay && !notConnected;
}

void TKXCommonPlayer::SetRenderRectangle(const QRect& rect)
{
    renderRect_ = rect;
    if (GstElement* overlay = OverlayElement()) {
        if (rect.width() > 0 && rect.height() > 0)
            gst_video_overlay_set_render_rectangle(GST_VIDEO_OVERLAY(overlay), rect.x(), rect.y(), rect.width(),
                                                   rect.height());
    }
}

void TKXCommonPlayer::AttachVideoWindow(QWidget* owner, const QRect& rect)
{
    if (!graph_ || !owner)
        return;
    displayOwner_ = owner;
    bool notConnected = false;
    if (SetOwnerWindow(owner, notConnected)) {
        // Input stays with Qt: the renderer must not take the window's events.
        gst_video_overlay_handle_events(GST_VIDEO_OVERLAY(OverlayElement()), FALSE);
    } else if (notConnected) {
        DebugText(QStringLiteral("Pins not connected when setting video window owner"));
    } else if (GstElement* overlay = OverlayElement()) {
        gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(overlay), 0);
    }
    videoRect_ = QRect(0, 0, rect.width(), rect.height());
    ConnectDisplay(autoShow_);
}

void TKXCommonPlayer::ConnectDisplay(bool flag)
{
    if (!graph_)
        return;
    displayConnected_ = flag;
    PlaceVideo();
    if (GstElement* overlay = OverlayElement())
        gst_video_overlay_expose(GST_VIDEO_OVERLAY(overlay));
    ReadColorKey();
    DebugText(flag ? QStringLiteral("Connect to display") : QStringLiteral("Disconnect display"));
}

QRectF TKXCommonPlayer::ZoomOutputRect(int mode)
{
    switch (mode) {
    case 1: return QRectF(QPointF(-0.16666, 0), QPointF(1.16666, 1));
    case 2: return QRectF(QPointF(-0.16666, -0.08333), QPointF(1.16666, 1.08333));
    case 3: return QRectF(QPointF(0, -0.16666), QPointF(1, 1.16666));
    case 4: return QRectF(QPointF(0.125, 0), QPointF(0.875, 1));
    case 5: return QRectF(QPointF(0.0625, -0.08333), QPointF(0.9375, 1.08333));
    default: return QRectF(0, 0, 1, 1);
    }
}

QRect TKXCommonPlayer::ZoomWindowRect(int mode, int w, int h)
{
    switch (mode) {
    case 1: return QRect(-w / 6, 0, 4 * w / 3, h);
    case 2: return QRect(-w / 6, -h / 12, 4 * w / 3, 7 * h / 6);
    case 3: return QRect(0, -h / 6, w, 4 * h / 3);
    case 4: return QRect(w / 8, 0, 3 * w / 4, h);
    case 5: return QRect(w / 16, -h / 12, 7 * w / 8, 7 * h / 6);
    default: return QRect(0, 0, w, h);
    }
}

void TKXCommonPlayer::SetZoomMode(int value)
{
    if (value < 0 || value > 255 || value == zoomMode_)
        return;
    zoomMode_ = value;
    if (graph_)
        PlaceVideo();
}

void TKXCommonPlayer::PlaceVideo()
{
    if (!graph_)
        return;
    if (fullScreen_) {
        if (rendererKind_ != 2 && rendererKind_ != 3)
            return;
        if (!OverlayElement()) {
            DebugText(rendererKind_ == 3 ? QStringLiteral("VMR Mixer Control not found")
                                         : QStringLiteral("VMRMixerControl not found"));
            PlaceFullScreenWindow();
            return;
        }
        const QRectF n = ZoomOutputRect(zoomMode_);
        const int fw = fullScreenForm_->width(), fh = fullScreenForm_->height();
        SetRenderRectangle(QRect(QPoint(qRound(n.left() * fw), qRound(n.top() * fh)),
                                 QPoint(qRound(n.right() * fw) - 1, qRound(n.bottom() * fh) - 1)));
        return;
    }
    SetRenderRectangle(ZoomWindowRect(zoomMode_, videoRect_.width(), videoRect_.height()));
    update();
}

void TKXCommonPlayer::PlaceFullScreenWindow()
{
    const QRect screen = PrimaryScreenGeometry();
    fullScreenForm_->setGeometry(ZoomWindowRect(zoomMode_, screen.width(), screen.height()));
    SetRenderRectangle(QRect(0, 0, fullScreenForm_->width(), fullScreenForm_->height()));
    fullScreenForm_->update();
}

void TKXCommonPlayer::ReadColorKey()
{
    if (!HasProperty(renderer_, "colorkey"))
        return;
    gint key = 0;
    g_object_get(renderer_, "colorkey", &key, nullptr);
    // The sink speaks 0xRRGGBB; colours here are 0x00BBGGRR.
    const TColor color = ((key >> 16) & 0xFF) | (key & 0xFF00) | ((key & 0xFF) << 16);
    if (color == colorKey_)
        return;
    colorKey_ = color;
    SetBackground(*timePanel_, color);
    Fire(OnColorKeyChanged, this);
    Q_EMIT colorKeyChanged();
}

void TKXCommonPlayer::SetFullScreenMode(bool value)
{
    if (!graph_ || value == fullScreen_)
        return;
    fullScreen_ = value;
    if (value) {
        const QRect screen = PrimaryScreenGeometry();
        fullScreenForm_->setGeometry(screen);
        PlaceVideo();
        fullScreenForm_->raise();
        bool notConnected = false;
        if (SetOwnerWindow(fullScreenForm_, notConnected) || notConnected) {
            if (GstElement* overlay = OverlayElement())
                gst_video_overlay_handle_events(GST_VIDEO_OVERLAY(overlay), FALSE);
        }
        SetBackground(*timePanel_, colorKey_);
        fullScreenForm_->show();
        hide();
        Fire(OnStartFullScreen, this, fullScreenForm_);
        Q_EMIT startFullScreen(fullScreenForm_);
    } else {
        QWidget* owner = displayOwner_ ? displayOwner_.data() : this;
        AttachVideoWindow(owner, videoRect_);
        owner->show();
        show();
        fullScreenForm_->hide();
        raise();
        Fire(OnEndFullScreen, this);
        Q_EMIT endFullScreen();
    }
    Q_EMIT fullScreenModeChanged(value);
    ReadColorKey();
}

void TKXCommonPlayer::FormKeyDown(uint16_t key, TShiftState shift)
{
    if (key == VK_ESCAPE)
        SetFullScreenMode(false);
    FireKeyDown(key, shift);
}

bool TKXCommonPlayer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fullScreenForm_) {
        switch (event->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(event);
            FormKeyDown(VirtualKeyFromQt(k->key()), ShiftStateFromQt(k->modifiers()));
            return true;
        }
        case QEvent::Resize:
            timePanel_->move(fullScreenForm_->width() - kTimePanelWidth, 20);
            break;
        case QEvent::Close:
            if (destroying_)
                fullScreen_ = false;
            break;
        default: break;
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace kx
