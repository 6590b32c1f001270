import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import KXAudio

ApplicationWindow {
    id: window
    required property string media
    // For CI: play once the peaks are shown, quit this much later (0: stay).
    required property int quitAfterMs
    width: 800
    height: 260
    visible: true
    title: media

    function seconds(units) { return (units / 10000000).toFixed(1) }
    function fail(why) {
        console.error("kxqmlplayer: " + why)
        // Also from start-up, before the event loop runs.
        Qt.callLater(Qt.exit, 1)
    }

    PeakBuilder {
        id: builder
        saveToPeakFiles: false  // peaks stay in memory
        onPeakFailed: window.fail(window.media + ": " + lastBuildFailure)
        // Built, or found in a peak file beside the media.
        onPeakComplete: if (window.quitAfterMs > 0) autoPlay.start()
        onPeakNew: if (window.quitAfterMs > 0) autoPlay.start()
        Component.onCompleted: {
            if (appendFile(window.media))
                start()
            else
                window.fail(window.media + " cannot be read")
        }
    }

    AudioPlayer {
        id: player
        source: window.media
        onError: (message) => window.fail(message)
        onComplete: view.scrollPosition = 0
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 4

        WaveformView {
            id: view
            Layout.fillWidth: true
            Layout.fillHeight: true
            builder: builder
            live: true          // fills in while the file is built
            peakReduction: 1    // true min/max at any zoom
            playTime: player.position
        }

        RowLayout {
            Layout.margins: 4
            Button { text: player.playing ? "Pause" : "Play"; onClicked: player.playing ? player.pause() : player.play() }
            Button { text: "Stop"; onClicked: player.stop() }
            Label { text: "Zoom" }
            Slider {
                from: 0.5; to: 50; value: view.timeScaler
                onMoved: view.timeScaler = value
            }
            Label {
                Layout.fillWidth: true
                text: window.seconds(player.position) + " / " + window.seconds(player.duration) + " s"
            }
        }
    }

    // --quit-after: press play once, report and quit.
    Timer {
        running: window.quitAfterMs > 0 && !autoPlay.done
        interval: 30000
        onTriggered: window.fail("no peaks after 30 s")
    }
    Timer {
        id: autoPlay
        interval: 0
        property bool done: false
        onTriggered: {
            if (done)
                return
            done = true
            player.play()
            quitTimer.start()
        }
    }
    Timer {
        id: quitTimer
        interval: window.quitAfterMs
        onTriggered: {
            const played = player.playing && player.position > 0
            console.info(window.media + ": " + view.durationMs + " ms of peaks, played to "
                         + Math.round(player.position / 10000) + " ms, pointer at x=" + view.pointerX)
            Qt.exit(played ? 0 : 1)
        }
    }
}
