#pragma once
#include <QLoggingCategory>
#include <QString>
#include <exception>

#include "Exception.h"

namespace kx {

/// Qt's property system, QML and Designer cannot take an exception, so the
/// property writers run the throwing C++ setter here: a refused value leaves
/// the property as it was and its message goes to the log and to report.
/// False when the write was refused.
template <class Write, class Report>
bool GuardedWrite(const QLoggingCategory& category, const char* property, Write&& write, Report&& report) noexcept
{
    QString message;
    try {
        write();
        return true;
    } catch (const Exception& e) {
        message = e.Message();
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    }
    qCWarning(category).noquote() << property << "refused:" << message;
    report(message);
    return false;
}

} // namespace kx

// Declares `writer`, the WRITE accessor of a Q_PROPERTY whose C++ setter
// `Setter` throws: the component's error(QString) signal reports a refusal.
#define KX_PROPERTY_WRITER(Type, writer, Setter, category)                                          \
    void writer(Type value)                                                                         \
    {                                                                                               \
        ::kx::GuardedWrite(category(), #writer, [&] { Setter(value); },                             \
                           [this](const QString& message) { Q_EMIT error(message); });              \
    }
