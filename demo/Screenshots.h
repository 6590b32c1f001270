#pragma once
#include <QString>
#include <QStringList>

namespace kx {

class TForm1;

// Fills the form from its first example file (both viewers, the effect
// viewer and the wave viewer), then saves one PNG per page into folder.
// Gives the files written, or an empty list when a page could not be saved.
QStringList SaveScreenshots(TForm1& form, const QString& folder);

} // namespace kx
