#include "GraphEvents.h"

#include <QPointer>
#include <QString>

#include "platform/PostedEvent.h"

namespace {

struct NotifyTarget {
    QPointer<MessageWindow> window;
    uint32_t msg;
};

GstBusSyncReply PostNotification(GstBus*, GstMessage*, gpointer data)
{
    auto* target = static_cast<NotifyTarget*>(data);
    if (MessageWindow* w = target->window.data())
        w->Post(target->msg, 0, 0);
    return GST_BUS_PASS;
}

void DeleteTarget(gpointer data)
{
    delete static_cast<NotifyTarget*>(data);
}

} // namespace

void SetNotifyWindow(GstElement* pipeline, MessageWindow* window, uint32_t msg)
{
    if (!pipeline)
        return;
    GstBusPtr bus(gst_element_get_bus(pipeline));
    if (!bus)
        return;
    if (!window) {
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        return;
    }
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    gst_bus_set_sync_handler(bus.get(), PostNotification, new NotifyTarget{window, msg}, DeleteTarget);
}

bool GetEvent(GstElement* pipeline, long& code, GstMessagePtr& message)
{
    code = EC_NONE;
    message.reset();
    if (!pipeline)
        return false;
    GstBusPtr bus(gst_element_get_bus(pipeline));
    if (!bus)
        return false;
    message.reset(gst_bus_pop(bus.get()));
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
