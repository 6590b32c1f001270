#pragma once
#include <QMetaObject>

namespace kx {

class TKXCommonAudioPlayer;
class TKXCustomPeakViewer;

/// Keeps the viewer's play pointer on the player's position: every time
/// update of the player moves it (SetPlayTime). A player without time
/// updates (UpdateInterval 0) is given kFollowInterval, since the pointer
/// would never move otherwise. The connection ends when either side is
/// destroyed, or with QObject::disconnect on the result; the player's
/// OnTimeUpdate handler stays the owner's. Null for a null viewer or player.
QMetaObject::Connection FollowPlayer(TKXCustomPeakViewer* viewer, TKXCommonAudioPlayer* player);

/// Milliseconds between time updates FollowPlayer sets when there are none.
constexpr int kFollowInterval = 40;

} // namespace kx
