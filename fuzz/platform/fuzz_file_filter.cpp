// File-dialog filter strings in the components' "Name|*.x|..." form, as a
// property may hold them, turned into Qt's filter list. Every pair becomes one
// entry, each entry carries its patterns in one trailing parenthesis as Qt's
// dialogs read them, and every pattern given after a bar is among them.
#include <QRegularExpression>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "platform/widgets/FileDialogs.h"

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString filter = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString qt = QtFileFilter(filter);
    const QStringList parts = filter.split(QLatin1Char('|'));
    // Entry boundaries and parentheses in a name or pattern cannot be told
    // apart from the list's own; only such input is checked entry by entry.
    static const QRegularExpression special(QStringLiteral("[()\\n\\r]"));
    if (filter.contains(special))
        return 0;
    for (qsizetype i = 0; i < parts.size(); i += 2)
        if (parts[i].contains(QLatin1Char(';')))
            return 0;
    const QStringList entries = qt.isEmpty() ? QStringList() : qt.split(QStringLiteral(";;"));
    if (entries.size() != parts.size() / 2)
        __builtin_trap();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString& entry = entries[i];
        if (!entry.endsWith(QLatin1Char(')')) || entry.count(QLatin1Char('(')) != 1)
            __builtin_trap();
        const QString inside = entry.mid(entry.indexOf(QLatin1Char('(')) + 1).chopped(1);
        const QStringList shown = inside.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& p : parts[2 * i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (!p.trimmed().isEmpty() && !p.trimmed().contains(QLatin1Char(' ')) && !shown.contains(p.trimmed()))
                __builtin_trap();
    }
    return 0;
}
