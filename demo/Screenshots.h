#pragma once
#include <QString>
#include <QStringList>

namespace kx {

class TForm1;

// Makes the folder the pictures go to; false with the reason when it is not
// a folder or cannot be written.
bool PrepareScreenshotFolder(const QString& folder, QString& error);

// Fills the form from its first example file (both viewers, the effect
// viewer and the wave viewer), then saves one PNG per page into folder.
// Gives the files written, or an empty list with the reason in error when a
// page could not be saved.
QStringList SaveScreenshots(TForm1& form, const QString& folder, QString& error);

} // namespace kx
