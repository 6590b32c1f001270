#pragma once
#include <QString>

namespace kx {

/// The user's runtime folder ($XDG_RUNTIME_DIR), or empty when it is not set
/// or not a folder. Reading it through QStandardPaths would print a warning
/// on every machine without a login session.
QString RuntimeFolder();

/// Makes sure $XDG_RUNTIME_DIR names a private folder before a GUI application
/// object is created: when it is unset, the folder Qt would fall back to
/// (`<temp>/runtime-<user>`) is created with mode 0700 and named there, so that
/// Qt has nothing to warn about. A folder of that name that is not ours or not
/// private is left alone, and a fresh private one is made instead.
void PrepareRuntimeFolder();

} // namespace kx
