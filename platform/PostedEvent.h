#pragma once
#include <QEvent>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>

namespace kx {

/// A message posted to a hidden window: an event type with two parameters.
/// Posting never waits for the receiving thread.
class PostedMessageEvent : public QEvent
{
public:
    /// A message of the given event type (MessageWindow::EventType()).
    PostedMessageEvent(QEvent::Type type, uint32_t msg, uintptr_t wParam, intptr_t lParam)
        : QEvent(type), Msg(msg), WParam(wParam), LParam(lParam)
    {
        published_.store(true, std::memory_order_release);
    }
    /// Called by the receiving thread before it reads the parameters.
    void Receive() const { (void)published_.load(std::memory_order_acquire); }
    const uint32_t Msg;       ///< what the message says (WM_USER and above)
    const uintptr_t WParam;   ///< first parameter, as the message defines it
    const intptr_t LParam;    ///< second parameter, as the message defines it

private:
    // Qt's event queue hands the event over under a futex lock that thread
    // checkers cannot see; this pair makes the hand-over visible to them.
    std::atomic<bool> published_{false};
};

/// First message number free for a component's own messages.
constexpr uint32_t WM_USER = 0x0400;
/// First message number free for an application's own messages.
constexpr uint32_t WM_APP = 0x8000;

/// The hidden window: a receiver on the GUI thread whose handler sees every
/// posted message. Destroying it drops messages still queued for it.
class MessageWindow : public QObject
{
public:
    /// Handles one message on the GUI thread.
    using Procedure = std::function<void(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;
    /// A window whose messages go to procedure; it lives on the creating thread.
    explicit MessageWindow(Procedure procedure, QObject* parent = nullptr);

    /// Safe from any thread.
    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    /// The event type of posted messages, registered once per process.
    static QEvent::Type EventType();

protected:
    /// Hands posted messages to the procedure.
    bool event(QEvent* e) override;

private:
    Procedure procedure_;
};

} // namespace kx
