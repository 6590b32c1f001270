#pragma once
// Small helpers shared by the test binaries.
#include <QString>
#include <functional>
#include <ostream>

#include "platform/Exception.h"

namespace kx {

// Under AddressSanitizer a program's peak resident memory says little about
// its own (the shadow memory and quarantine grow with the data that passes
// through), and it runs many times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool UnderAddressSanitizer = true;
#else
constexpr bool UnderAddressSanitizer = false;
#endif

// The message of the Exception a call raises, or empty when it raises none.
inline QString RaisedMessage(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

// Readable QString values in test failure output.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

} // namespace kx
