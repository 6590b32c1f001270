// The widgets the plugin offers and how each is made.
#include <QCoreApplication>

#include "WidgetInterface.h"
#include "controls/KXFloatEdit.h"
#include "mediagraph/MediaFramework.h"
#include "platform/Exception.h"
#include "playback/KXCommonPlayer.h"
#include "playback/KXPlayerControls.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/KXCustomPeakViewer.h"
#include "viewers/KXPeakEffectViewer.h"
#include "wavviewer/WavViewer.h"

namespace kx::designer {

namespace {

template <class W>
QWidget* Make(QWidget* parent, bool designing)
{
    auto* widget = new W(parent);
    widget->SetDesigning(designing);
    return widget;
}

// The video panel's transport belongs to a concrete player; on a form it is
// the bare panel, which plays nothing. Without Q_OBJECT, so that it keeps
// the panel's class name and Designer sees the class it asked for.
class FormVideoPanel final : public TKXCommonPlayer
{
public:
    using TKXCommonPlayer::TKXCommonPlayer;
    void CaptureToFile(const QString&) override {}
    void GoToEnd() override {}
    void GoToStart() override {}
    void Stop() override {}
    void Pause() override {}
    void Play() override {}
    void PlaySelection(bool) override {}
    int64_t Duration() override { return 0; }
    void SetSpeed(TSpeedType) override {}
    int64_t Position() override { return 0; }
    void SetMarkIn(bool, double&) override {}
    void SetMarkOut(bool, double&) override {}
    bool HasSelection() override { return false; }
    void StepBack() override {}
    void StepForward() override {}

protected:
    void WindowProc(uint32_t, uintptr_t, intptr_t) override {}
};

QWidget* MakeVideoPanel(QWidget* parent, bool designing)
{
    // The panel's own check quits the application when it fails; in
    // Designer that would close Designer, so it is made beforehand.
    if (VersionClass() < 2 || !MediaFrameworkPresent())
        throw Exception(QCoreApplication::translate("kxaudio designer",
                                                    "needs GStreamer 1.22 with playbin and decodebin"));
    return Make<FormVideoPanel>(parent, designing);
}

constexpr WidgetEntry kEntries[] = {
    {"kx::TKXAudioPeakViewer", "QWidget", "kxaudio/viewers/KXAudioPeakViewer.h", ":/kxaudio/designer/peakviewer.svg",
     "Peak viewer",
     "Shows the peaks of an audio file (peaksFileName, or a builder's stream from code) against time, with "
     "zoom, scrolling, a marked range, a cursor and a play pointer that follows a player.",
     QSize(400, 150), &Make<TKXAudioPeakViewer>},
    {"kx::TKXCustomPeakViewer", "QWidget", "kxaudio/viewers/KXCustomPeakViewer.h", ":/kxaudio/designer/peakviewer.svg",
     "Peak viewer (base class)",
     "The base of the peak viewers, for forms whose code derives its own viewer from it; its settings are "
     "those of the peak viewer.",
     QSize(400, 150), &Make<TKXCustomPeakViewer>},
    {"kx::TKXPeakEffectViewer", "QWidget", "kxaudio/viewers/KXPeakEffectViewer.h",
     ":/kxaudio/designer/effectviewer.svg", "Effect envelope viewer",
     "A peak viewer with up to three effect envelopes (A, B, C) drawn over the peaks and edited with the "
     "mouse; colours and limits of each envelope are its properties.",
     QSize(400, 150), &Make<TKXPeakEffectViewer>},
    {"kx::TWavViewer", "QWidget", "kxaudio/wavviewer/WavViewer.h", ":/kxaudio/designer/wavviewer.svg",
     "WAV file viewer",
     "Shows and plays one PCM WAV file (fileName) as one peak per column, with a channel panel, time marks "
     "and a scroll bar.",
     QSize(400, 180), &Make<TWavViewer>},
    {"kx::TKXPlayerControls", "QWidget", "kxaudio/playback/KXPlayerControls.h", ":/kxaudio/designer/transport.svg",
     "Transport bar",
     "Up to twelve transport buttons (visibleButtons) that drive a linked player panel or audio player, set "
     "in code with SetPlayerLib or SetAudioPlayer.",
     QSize(460, 32), &Make<TKXPlayerControls>},
    {"kx::TKXFloatEdit", "QLineEdit", "kxaudio/controls/KXFloatEdit.h", ":/kxaudio/designer/floatedit.svg",
     "Number edit",
     "A single-line edit for one floating-point number within minValue..maxValue, with decimals, thousands "
     "separators and an optional up/down button.",
     QSize(90, 22), &Make<TKXFloatEdit>},
    {"kx::TKXCommonPlayer", "QFrame", "kxaudio/playback/KXCommonPlayer.h", ":/kxaudio/designer/videopanel.svg",
     "Video panel",
     "The panel a video player draws in: colour, zoom mode, colour controls and volume. Its transport comes "
     "from a concrete player class: promote the panel to it, or load the form with QUiLoader, which makes a "
     "panel that plays nothing.",
     QSize(320, 180), &MakeVideoPanel},
};

} // namespace

std::span<const WidgetEntry> WidgetEntries()
{
    return kEntries;
}

} // namespace kx::designer
