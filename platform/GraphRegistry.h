#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace kx {

/// A process-wide table of running media graphs, so that outside tools can
/// find them: each registered graph is listed by name and its Graphviz dump
/// is written to "<runtime dir>/kxaudio-graphs/<name>.dot".
class GraphRegistry
{
public:
    /// Gives the graph's Graphviz description.
    using DumpFunction = std::function<QByteArray()>;

    /// Gives a cookie above 0, or 0 when the name is already registered.
    static uint32_t Register(const QString& name, DumpFunction dump = {});
    /// Unknown cookies are ignored.
    static void Revoke(uint32_t cookie);
    /// Whether a graph of that name is registered.
    static bool Contains(const QString& name);
    /// The names of the registered graphs.
    static QStringList Names();
    /// Rewrites the dump of a registered graph (after it changed).
    static void Refresh(uint32_t cookie);
    /// Folder that holds the dumps.
    static QString DumpFolder();
};

/// "FilterGraph %p pid %x": the address in upper-case hex (all its digits), the
/// process id in upper-case hex without leading zeros.
QString FilterGraphItemName(const void* graph, uint32_t pid);

} // namespace kx
