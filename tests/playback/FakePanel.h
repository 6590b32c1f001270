#pragma once
#include <QStringList>

#include "tests/support/TestHelpers.h"

#include "playback/KXCommonPlayer.h"

namespace kx {

// A panel that only records what a transport bar asks of it.
class FakePanel : public TKXCommonPlayer
{
public:
    explicit FakePanel(QWidget* owner = nullptr) : TKXCommonPlayer(owner) {}

    QStringList calls;
    int64_t position = 0;
    int64_t duration = 0;
    bool selection = false;

    void Report(TPlayerState s) { ChangeState(s); }

    void CaptureToFile(const QString& fileName) override { calls << "CaptureToFile " + fileName; }
    void GoToEnd() override { calls << "GoToEnd"; }
    void GoToStart() override { calls << "GoToStart"; }
    void Stop() override { calls << "Stop"; }
    void Pause() override { calls << "Pause"; }
    void Play() override { calls << "Play"; }
    void PlaySelection(bool active) override { calls << QStringLiteral("PlaySelection %1").arg(active); }
    int64_t Duration() override { return duration; }
    void SetSpeed(TSpeedType speed) override { calls << QStringLiteral("SetSpeed %1").arg(speed); }
    int64_t Position() override { return position; }
    void SetMarkIn(bool down, double& fraction) override
    {
        calls << QStringLiteral("SetMarkIn %1 %2").arg(down).arg(fraction);
    }
    void SetMarkOut(bool down, double& fraction) override
    {
        calls << QStringLiteral("SetMarkOut %1 %2").arg(down).arg(fraction);
    }
    bool HasSelection() override { return selection; }
    void StepBack() override { calls << "StepBack"; }
    void StepForward() override { calls << "StepForward"; }

protected:
    void WindowProc(uint32_t, uintptr_t, intptr_t) override {}
};

} // namespace kx
