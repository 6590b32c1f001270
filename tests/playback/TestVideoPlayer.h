#pragma once
#include <QFileInfo>
#include <QUrl>
#include <gst/gst.h>

#include "mediagraph/GraphEvents.h"
#include "platform/PostedEvent.h"
#include "playback/KXCommonPlayer.h"

namespace kx {

// A small concrete player: plays a file into the panel through the given
// video sink (a real overlay sink or a fake one).
class TestVideoPlayer : public TKXCommonPlayer
{
public:
    explicit TestVideoPlayer(QWidget* owner = nullptr) : TKXCommonPlayer(owner) {}

    // Builds the graph; the sink becomes the renderer of the given kind.
    bool Load(const QString& fileName, GstElement* videoSink, uint8_t kind)
    {
        GstElement* bin = gst_element_factory_make("playbin", nullptr);
        if (!bin)
            return false;
        GstElement* audioSink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(audioSink, "sync", TRUE, nullptr);
        g_object_set(bin, "video-sink", videoSink, "audio-sink", audioSink, nullptr);
        const QByteArray uri = QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()).toEncoded();
        g_object_set(bin, "uri", uri.constData(), nullptr);
        SetGraph(bin);
        SetRenderer(videoSink, kind);
        // The overlay must know its window before the first frame.
        AttachVideoWindow(this, rect());
        if (gst_element_set_state(Graph(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
            gst_element_get_state(Graph(), nullptr, nullptr, 10 * GST_SECOND) != GST_STATE_CHANGE_SUCCESS) {
            ChangeState(psError);
            return false;
        }
        ChangeState(psStop);
        Fire(EnableHook);
        return true;
    }
    GstElement* CreateFilterByClassForTest(const QString& id, const QString& name)
    {
        return CreateFilterByClass(id, name);
    }
    // The video window is attached again once the renderer is linked.
    void Attach() { AttachVideoWindow(this, rect()); }

    bool completed = false;

    void CaptureToFile(const QString& fileName) override { grab().save(fileName, "BMP"); }
    void GoToEnd() override {}
    void GoToStart() override { Stop(); }
    void Stop() override
    {
        if (!Graph())
            return;
        gst_element_set_state(Graph(), GST_STATE_PAUSED);
        gst_element_seek_simple(Graph(), GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0);
        ChangeState(psStop);
    }
    void Pause() override
    {
        if (Graph() && gst_element_set_state(Graph(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE)
            ChangeState(psPause);
    }
    void Play() override
    {
        if (Graph() && gst_element_set_state(Graph(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE)
            ChangeState(psPlay);
    }
    void PlaySelection(bool) override {}
    int64_t Duration() override
    {
        gint64 d = 0;
        return Graph() && gst_element_query_duration(Graph(), GST_FORMAT_TIME, &d) ? d / 100 : 0;
    }
    void SetSpeed(TSpeedType) override {}
    int64_t Position() override
    {
        gint64 p = 0;
        return Graph() && gst_element_query_position(Graph(), GST_FORMAT_TIME, &p) ? p / 100 : 0;
    }
    void SetMarkIn(bool, double&) override {}
    void SetMarkOut(bool, double&) override {}
    bool HasSelection() override { return false; }
    void StepBack() override {}
    void StepForward() override {}

protected:
    void WindowProc(uint32_t msg, uintptr_t, intptr_t) override
    {
        long code = EC_NONE;
        GstMessagePtr message;
        if (msg != WM_APP + 1 || !Graph() || !GetEvent(Graph(), code, message))
            return;
        if (code == EC_COMPLETE) {
            Stop();
            completed = true;
        }
    }
};

} // namespace kx
