#pragma once
#include <QString>
#include <stdexcept>

namespace kx {

/// The general exception class: carries exactly the message text the
/// components document ("Cache must be between 1 and 50", ...).
class Exception : public std::runtime_error
{
public:
    /// An exception carrying the message (held as UTF-8).
    ///@{
    explicit Exception(const QString& message) : std::runtime_error(message.toStdString()) {}
    explicit Exception(const char* message) : std::runtime_error(message) {}
    ///@}
    /// The message as it was given.
    QString Message() const { return QString::fromUtf8(what()); }
};

/// "Assertion failure (Unit, line N)": internal consistency checks name the
/// unit they belong to.
QString AssertionMessage(const char* unit, int line);

#define KX_ASSERT(condition, unit)                                   \
    do {                                                             \
        if (!(condition))                                            \
            throw ::kx::Exception(::kx::AssertionMessage((unit), __LINE__));   \
    } while (false)

} // namespace kx
