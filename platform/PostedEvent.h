#pragma once
#include <QEvent>
#include <QObject>
#include <cstdint>
#include <functional>

namespace kx {

/// A message posted to a hidden window: an event type with two parameters.
/// Posting never waits for the receiving thread.
class PostedMessageEvent : public QEvent
{
public:
    PostedMessageEvent(QEvent::Type type, uint32_t msg, uintptr_t wParam, intptr_t lParam)
        : QEvent(type), Msg(msg), WParam(wParam), LParam(lParam) {}
    const uint32_t Msg;
    const uintptr_t WParam;
    const intptr_t LParam;
};

constexpr uint32_t WM_USER = 0x0400;
constexpr uint32_t WM_APP = 0x8000;

/// The hidden window: a receiver on the GUI thread whose handler sees every
/// posted message. Destroying it drops messages still queued for it.
class MessageWindow : public QObject
{
public:
    using Procedure = std::function<void(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;
    explicit MessageWindow(Procedure procedure, QObject* parent = nullptr);

    /// Safe from any thread.
    void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    static QEvent::Type EventType();

protected:
    bool event(QEvent* e) override;

private:
    Procedure procedure_;
};

} // namespace kx
