#include "GraphRegistry.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <map>
#include <unistd.h>

#include "OutputFile.h"
#include "PrivateFolder.h"
#include "RuntimeFolder.h"

namespace kx {

namespace {

// GStreamer's own dump folder when the user named one; otherwise the runtime
// folder, this user's alone; the shared temporary folder, its stand-in, gets
// a folder named after the user id.
std::pair<QString, QString> DumpFolderParts()
{
    const QString gstreamer = qEnvironmentVariable("GST_DEBUG_DUMP_DOT_DIR");
    if (!gstreamer.isEmpty())
        return {gstreamer, QString()};
    const QString runtime = RuntimeFolder();
    if (!runtime.isEmpty())
        return {runtime, QStringLiteral("kxaudio-graphs")};
    return {QDir::tempPath(), QStringLiteral("kxaudio-graphs-%1").arg(geteuid())};
}

bool MakeDumpFolder()
{
    const auto [base, sub] = DumpFolderParts();
    return sub.isEmpty() ? QDir().mkpath(base) : MakePrivateFolder(base, sub);
}

struct Entry {
    QString name;
    GraphRegistry::DumpFunction dump;
};

struct Table {
    QMutex mutex;
    std::map<uint32_t, Entry> entries;
    uint32_t next = 1;
};

Table& TheTable()
{
    static Table table;
    return table;
}

QString DumpPath(const QString& name)
{
    QString file = name;
    file.replace(QLatin1Char(' '), QLatin1Char('_'));
    return GraphRegistry::DumpFolder() + QLatin1Char('/') + file + QStringLiteral(".dot");
}

void WriteDump(const Entry& entry)
{
    // Only into a folder of this user's own, and never through a link
    // someone placed under the dump's name.
    if (!entry.dump || !MakeDumpFolder())
        return;
    QString error;
    OutputRules rules;
    rules.kind = FileKind::GraphDump;
    WriteOutputFile(DumpPath(entry.name), rules, {entry.dump()}, error);
}

} // namespace

QString GraphRegistry::DumpFolder()
{
    const auto [base, sub] = DumpFolderParts();
    return sub.isEmpty() ? base : base + QLatin1Char('/') + sub;
}

uint32_t GraphRegistry::Register(const QString& name, DumpFunction dump)
{
    Table& t = TheTable();
    QMutexLocker lock(&t.mutex);
    for (const auto& [cookie, entry] : t.entries)
        if (entry.name == name)
            return 0;
    const uint32_t cookie = t.next++;
    auto& entry = t.entries[cookie];
    entry = Entry{name, std::move(dump)};
    WriteDump(entry);
    return cookie;
}

void GraphRegistry::Revoke(uint32_t cookie)
{
    Table& t = TheTable();
    QMutexLocker lock(&t.mutex);
    auto it = t.entries.find(cookie);
    if (it == t.entries.end())
        return;
    // Dumps asked for through GStreamer's variable outlive the graph, as its own do.
    if (qEnvironmentVariableIsEmpty("GST_DEBUG_DUMP_DOT_DIR"))
        QFile::remove(DumpPath(it->second.name));
    t.entries.erase(it);
}

bool GraphRegistry::Contains(const QString& name)
{
    return Names().contains(name);
}

QStringList GraphRegistry::Names()
{
    Table& t = TheTable();
    QMutexLocker lock(&t.mutex);
    QStringList names;
    for (const auto& [cookie, entry] : t.entries)
        names.append(entry.name);
    return names;
}

void GraphRegistry::Refresh(uint32_t cookie)
{
    Table& t = TheTable();
    QMutexLocker lock(&t.mutex);
    auto it = t.entries.find(cookie);
    if (it != t.entries.end())
        WriteDump(it->second);
}

QString FilterGraphItemName(const void* graph, uint32_t pid)
{
    // All the digits of the address: cutting a 64-bit address to eight would
    // let two graphs share a name.
    const auto address = static_cast<qulonglong>(reinterpret_cast<uintptr_t>(graph));
    const QString hex = QStringLiteral("%1").arg(address, int(sizeof(void*) * 2), 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("FilterGraph %1 pid %2").arg(hex, QString::number(pid, 16).toUpper());
}

} // namespace kx
