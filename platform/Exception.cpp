#include "Exception.h"

namespace kx {

QString AssertionMessage(const char* unit, int line)
{
    return QStringLiteral("Assertion failure (%1, line %2)").arg(QString::fromLatin1(unit)).arg(line);
}

} // namespace kx
