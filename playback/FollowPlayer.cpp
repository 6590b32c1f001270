#include "FollowPlayer.h"

#include "KXAudioPlayer.h"
#include "viewers/KXCustomPeakViewer.h"

namespace kx {

QMetaObject::Connection FollowPlayer(TKXCustomPeakViewer* viewer, TKXCommonAudioPlayer* player)
{
    if (!viewer || !player)
        return {};
    if (player->UpdateInterval() <= 0)
        player->SetUpdateInterval(kFollowInterval);
    return QObject::connect(player, &TKXCommonAudioPlayer::timeUpdate, viewer, &TKXCustomPeakViewer::setPlayTime);
}

} // namespace kx
