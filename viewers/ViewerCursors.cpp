#include "ViewerCursors.h"

#include <QGuiApplication>
#include <QPixmap>
#include <map>

// Resources of a static library must be registered by name, outside any namespace.
static void InitViewerResources()
{
    Q_INIT_RESOURCE(ViewerCursors);
}

namespace kx {

namespace {

std::map<int, QCursor>& Table()
{
    static std::map<int, QCursor> table;
    return table;
}

int& Current()
{
    static int id = 0;
    return id;
}

} // namespace

QString ViewerCursorName(int id)
{
    static const char* const names[] = {"SELECTOR", "SELECTORR", "SELECTORG", "MOVE", "UPDOWN", "LEFTRIGHT"};
    if (id < 1 || id > 6)
        return {};
    return QString::fromLatin1(names[id - 1]);
}

void RegisterViewerCursors()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    InitViewerResources();
    for (int id = crSelector; id <= crLeftRight; ++id) {
        const QPixmap image(QStringLiteral(":/viewers/cursors/") + ViewerCursorName(id));
        const int hotY = id == crLeftRight ? 16 : 15;
        SetCursorTableEntry(id, QCursor(image, 15, hotY));
    }
}

void SetCursorTableEntry(int id, const QCursor& cursor)
{
    Table()[id] = cursor;
}

QCursor CursorTableEntry(int id)
{
    const auto it = Table().find(id);
    return it == Table().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

bool HasCursorTableEntry(int id)
{
    return Table().count(id) != 0;
}

int ScreenCursor()
{
    return Current();
}

void SetScreenCursor(int id)
{
    if (id == Current())
        return;
    // Keep at most one override of ours on the stack.
    if (Current() != 0)
        QGuiApplication::restoreOverrideCursor();
    Current() = id;
    if (id != 0)
        QGuiApplication::setOverrideCursor(CursorTableEntry(id));
}

} // namespace kx
