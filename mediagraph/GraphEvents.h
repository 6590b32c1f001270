#pragma once
#include <QString>
#include <cstdint>

#include "GstPtr.h"

class MessageWindow;

// Event codes of graph notifications.
enum GraphEventCode : long {
    EC_NONE = 0,
    EC_COMPLETE = 1,       // end of stream
    EC_USERABORT = 2,
    EC_ERRORABORT = 3,     // an error message
    EC_STATE_CHANGE = 0x32,
    EC_OTHER = 0x100,      // any other bus message
};

// Routes a pipeline's bus to a hidden window: one posted message (msg, 0, 0)
// per bus message; the messages stay queued on the bus for GetEvent.
// A null window detaches.
void SetNotifyWindow(GstElement* pipeline, MessageWindow* window, uint32_t msg);

// Takes one queued bus message without waiting; false when none is queued.
bool GetEvent(GstElement* pipeline, long& code, GstMessagePtr& message);

// The text of an error message ("" for other messages).
QString ErrorText(GstMessage* message);
