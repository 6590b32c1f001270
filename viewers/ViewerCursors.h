#pragma once
#include <QCursor>
#include <QString>

namespace kx {

/// Cursor ids of the effect viewer in the application's cursor table.
enum ViewerCursorId {
    crDefaultId = 0,
    crSelector = 1,   ///< over the viewer, nothing under the pointer
    crSelectorR = 2,  ///< on a connecting line: a press adds a point
    crSelectorG = 3,  ///< on a point: a press grabs it
    crMove = 4,       ///< grabbed, direction not decided
    crUpDown = 5,     ///< vertical drag: value
    crLeftRight = 6,  ///< horizontal drag: position
};

/// Loads the six cursor images of the viewers ("SELECTOR" ... "LEFTRIGHT")
/// into the application cursor table at ids 1 to 6. Runs once; later calls
/// do nothing. Needs the GUI application object.
void RegisterViewerCursors();

/// The application cursor table: custom cursors by id.
void SetCursorTableEntry(int id, const QCursor& cursor);
/// The cursor stored at id; the arrow for 0 or an unknown id.
QCursor CursorTableEntry(int id);
/// Whether a cursor is stored at id.
bool HasCursorTableEntry(int id);
/// Resource name of a viewer cursor id (empty for others).
QString ViewerCursorName(int id);

/// The application-wide screen cursor: shown over every window through the
/// override cursor; 0 is the default cursor (no override).
///@{
int ScreenCursor();
void SetScreenCursor(int id);
///@}

} // namespace kx
