#include "PostedEvent.h"

#include <QCoreApplication>

namespace kx {

QEvent::Type MessageWindow::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

MessageWindow::MessageWindow(Procedure procedure, QObject* parent)
    : QObject(parent), procedure_(std::move(procedure))
{
}

void MessageWindow::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    QCoreApplication::postEvent(this, new PostedMessageEvent(EventType(), msg, wParam, lParam));
}

bool MessageWindow::event(QEvent* e)
{
    if (e->type() == EventType()) {
        const auto* m = static_cast<PostedMessageEvent*>(e);
        m->Receive();
        if (procedure_)
            procedure_(m->Msg, m->WParam, m->LParam);
        return true;
    }
    return QObject::event(e);
}

} // namespace kx
