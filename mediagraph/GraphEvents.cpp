#include "GraphEvents.h"

#include <QMutex>
#include <QPointer>
#include <QString>
#include <atomic>
#include <deque>

#include "platform/PostedEvent.h"

namespace kx {

namespace {

// Messages of a notifying bus wait here rather than in the bus: the sync
// handler runs before GStreamer queues its message, so a notification could
// otherwise reach the GUI thread before the message it announces.
struct EventQueue {
    QMutex mutex;
    std::deque<GstMessage*> messages;
    std::atomic<bool> errorPosted{false};
    ~EventQueue()
    {
        for (GstMessage* m : messages)
            gst_message_unref(m);
    }
};

constexpr const char* QueueKey = "kx-event-queue";

EventQueue* QueueOf(GstBus* bus, bool create)
{
    auto* q = static_cast<EventQueue*>(g_object_get_data(G_OBJECT(bus), QueueKey));
    if (!q && create) {
        q = new EventQueue;
        g_object_set_data_full(G_OBJECT(bus), QueueKey, q, [](gpointer p) { delete static_cast<EventQueue*>(p); });
    }
    return q;
}

struct NotifyTarget {
    QPointer<MessageWindow> window;
    uint32_t msg;
    EventQueue* queue;  // owned by the bus
};

GstBusSyncReply QueueAndNotify(GstBus*, GstMessage* message, gpointer data)
{
    auto* target = static_cast<NotifyTarget*>(data);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        target->queue->errorPosted = true;
    {
        QMutexLocker lock(&target->queue->mutex);
        target->queue->messages.push_back(gst_message_ref(message));
    }
    if (MessageWindow* w = target->window.data())
        w->Post(target->msg, 0, 0);
    return GST_BUS_DROP;
}

void DeleteTarget(gpointer data)
{
    delete static_cast<NotifyTarget*>(data);
}

GstBusPtr BusOf(GstElement* pipeline)
{
    return GstBusPtr(pipeline ? gst_element_get_bus(pipeline) : nullptr);
}

} // namespace

void SetNotifyWindow(GstElement* pipeline, MessageWindow* window, uint32_t msg)
{
    GstBusPtr bus = BusOf(pipeline);
    if (!bus)
        return;
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    if (window)
        gst_bus_set_sync_handler(bus.get(), QueueAndNotify, new NotifyTarget{window, msg, QueueOf(bus.get(), true)},
                                 DeleteTarget);
}

GstMessage* PopEvent(GstElement* pipeline, GstMessageType types)
{
    GstBusPtr bus = BusOf(pipeline);
    if (!bus)
        return nullptr;
    if (EventQueue* q = QueueOf(bus.get(), false)) {
        QMutexLocker lock(&q->mutex);
        for (auto it = q->messages.begin(); it != q->messages.end(); ++it) {
            if (GST_MESSAGE_TYPE(*it) & types) {
                GstMessage* m = *it;
                q->messages.erase(it);
                return m;
            }
        }
    }
    // Messages posted before a window was set, or on a bus without one.
    return gst_bus_pop_filtered(bus.get(), types);
}

void FlushEvents(GstElement* pipeline)
{
    GstBusPtr bus = BusOf(pipeline);
    if (!bus)
        return;
    gst_bus_set_flushing(bus.get(), TRUE);
    gst_bus_set_flushing(bus.get(), FALSE);
    if (EventQueue* q = QueueOf(bus.get(), false)) {
        QMutexLocker lock(&q->mutex);
        for (GstMessage* m : q->messages)
            gst_message_unref(m);
        q->messages.clear();
        q->errorPosted = false;
    }
}

bool ErrorPosted(GstElement* element)
{
    if (!element)
        return false;
    auto* top = static_cast<GstObject*>(gst_object_ref(element));
    while (GstObject* parent = gst_object_get_parent(top)) {
        gst_object_unref(top);
        top = parent;
    }
    GstBusPtr bus(GST_IS_ELEMENT(top) ? gst_element_get_bus(GST_ELEMENT(top)) : nullptr);
    gst_object_unref(top);
    const EventQueue* q = bus ? QueueOf(bus.get(), false) : nullptr;
    return q && q->errorPosted;
}

bool GetEvent(GstElement* pipeline, long& code, GstMessagePtr& message)
{
    code = EC_NONE;
    message.reset(PopEvent(pipeline, GST_MESSAGE_ANY));
    if (!message)
        return false;
    switch (GST_MESSAGE_TYPE(message.get())) {
    case GST_MESSAGE_EOS: code = EC_COMPLETE; break;
    case GST_MESSAGE_ERROR: code = EC_ERRORABORT; break;
    case GST_MESSAGE_STATE_CHANGED: code = EC_STATE_CHANGE; break;
    default: code = EC_OTHER; break;
    }
    return true;
}

QString ErrorText(GstMessage* message)
{
    if (!message || GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR)
        return {};
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    QString text = error ? QString::fromUtf8(error->message) : QString();
    if (error)
        g_error_free(error);
    return text;
}

} // namespace kx
