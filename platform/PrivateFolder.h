#pragma once
#include <QString>

namespace kx {

/// Makes base/subPath for this user alone: every level of subPath is created
/// with mode 0700, and accepted only when it is a real folder, not a link,
/// owned by this user, with group and other access taken away. base itself
/// must exist. False when the folder cannot be made safe, so that nothing is
/// written into it; why then names the check that failed and its path.
bool MakePrivateFolder(const QString& base, const QString& subPath, QString* why = nullptr);

/// base/kxaudio/subPath in this user's cache ($XDG_CACHE_HOME or ~/.cache),
/// made private; when the cache cannot be used, "kxaudio-<uid>/subPath" in the
/// system's temporary folder. Empty when neither can be made safe, with why
/// naming the failed check of each.
QString PrivateCacheFolder(const QString& subPath, QString* why = nullptr);

} // namespace kx
