#pragma once
#include <QString>
#include <cstdint>

#include "GstPtr.h"

namespace kx {

class MessageWindow;

/// Event codes of graph notifications.
enum GraphEventCode : long {
    EC_NONE = 0,           ///< no event
    EC_COMPLETE = 1,       ///< end of stream
    EC_USERABORT = 2,      ///< stopped by the user
    EC_ERRORABORT = 3,     ///< an error message
    EC_STATE_CHANGE = 0x32, ///< the pipeline changed state
    EC_OTHER = 0x100,      ///< any other bus message
};

/// Routes a pipeline's bus to a hidden window: one posted message (msg, 0, 0)
/// per bus message. The bus messages are queued for GetEvent and PopEvent
/// before the notification is posted, so a notification always finds its
/// message. A null window detaches (messages already queued stay).
void SetNotifyWindow(GstElement* pipeline, MessageWindow* window, uint32_t msg);

/// Takes one queued bus message without waiting; false when none is queued.
bool GetEvent(GstElement* pipeline, long& code, GstMessagePtr& message);

/// Takes the oldest queued message of the given types without waiting
/// (a reference the caller owns), or null.
GstMessage* PopEvent(GstElement* pipeline, GstMessageType types);

/// Drops every queued message of the pipeline.
void FlushEvents(GstElement* pipeline);

/// Whether an error message went over the bus of the pipeline holding the
/// element since the pipeline's notifications were routed or last flushed.
/// Set on the posting thread, so an element downstream of a failure knows of
/// it before the end of stream that follows the failure.
bool ErrorPosted(GstElement* element);

/// The text of an error message ("" for other messages).
QString ErrorText(GstMessage* message);

} // namespace kx
