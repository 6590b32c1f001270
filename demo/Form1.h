#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "FormLabel.h"
#include "platform/DesignState.h"
#include "platform/Events.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QTabWidget;

namespace kx {

class TKXAudioFilePlayer;
class TKXAudioPeakViewer;
class TKXFloatEdit;
class TKXPeakBuilder;
class TKXPeakEffectViewer;
class TKXPlayerControls;
class OverviewPage;
class THZFormDropFiles;
class TWavViewer;
class FrequencyPage;
class TMemoryStream;

// The test bench's main form: one page per component group, every component
// wired to the others through the handlers below.
class TForm1 : public QWidget, public DesignState
{
    Q_OBJECT
public:
    // exampleMedia: the WAV paths offered by "Load both" (the first is
    // selected); the open dialogs start in their folder.
    explicit TForm1(const QStringList& exampleMedia = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Pages.
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QWidget* tshViewer = nullptr;
    QWidget* TabSheet5 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    FrequencyPage* SpectrogramTab = nullptr;
    OverviewPage* tshOverview = nullptr;  // overview over a zoomed view of Viewer1's peaks

    // Non-visual components.
    TKXPeakBuilder* KXPeakBuilder1 = nullptr;
    THZFormDropFiles* DropFiles = nullptr;
    TKXAudioFilePlayer* AudioFilePlayer = nullptr;
    QMenu* PeakEffectPopup = nullptr;
    QAction* miDeletePoint = nullptr;

    // "PeakBuilder" page.
    QPushButton* Button5 = nullptr;
    QCheckBox* cbCreatePeakFiles = nullptr;
    QCheckBox* cbPostProc = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnPause = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnClear = nullptr;
    TLabel* Label2 = nullptr;
    QComboBox* cbPeaksPerSec = nullptr;
    TLabel* Label3 = nullptr;
    QComboBox* cbPeaksGain = nullptr;
    QCheckBox* cbAbort = nullptr;
    QCheckBox* cbAppend = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QProgressBar* pbBuildPeaks = nullptr;

    // "AudioPeakViewer" page.
    QPushButton* btnLoadFile = nullptr;
    TLabel* lblDuration = nullptr;
    QSlider* tbScaler = nullptr;
    TLabel* lblScaler = nullptr;
    QPushButton* btnGoToSeconds = nullptr;
    QLineEdit* edtTime = nullptr;
    QCheckBox* cbCursorAtMouse = nullptr;
    TLabel* Label4 = nullptr;
    QSlider* tbPlayStepPercent = nullptr;
    TLabel* lblPlayStepPercent = nullptr;
    TKXAudioPeakViewer* Viewer = nullptr;
    TKXFloatEdit* feStreamIndex = nullptr;
    QPushButton* btnLoadStream = nullptr;
    QPushButton* btnLoadFromFile = nullptr;
    QPushButton* btnMark3To7 = nullptr;
    QPushButton* btnMark13To25 = nullptr;
    QPushButton* Button11 = nullptr;
    TLabel* lblTime = nullptr;
    TLabel* lblLength = nullptr;
    QPushButton* Button7 = nullptr;
    TKXPlayerControls* PlayControl = nullptr;
    QCheckBox* cbPreservePitch = nullptr;
    QCheckBox* cbTruePeaks = nullptr;  // PeakReduction prMinMax

    // "PeakEffectViewer" page.
    TKXPeakEffectViewer* EffectViewer = nullptr;
    QPushButton* btnLoadFromFile1 = nullptr;
    QPushButton* Button12 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QCheckBox* cbStereoEffects = nullptr;
    QCheckBox* cbEffectA = nullptr;
    QCheckBox* cbEffectB = nullptr;
    QCheckBox* cbEffectC = nullptr;
    QCheckBox* cbEffectTruePeaks = nullptr;
    TLabel* Label5 = nullptr;
    QComboBox* cbFocusedPoint = nullptr;
    TLabel* lblEffectScaler = nullptr;
    QSlider* tbEffectViewerScaler = nullptr;
    TLabel* Label7 = nullptr;

    // "Peaks test" page.
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QProgressBar* pb = nullptr;
    TLabel* Label1 = nullptr;
    QComboBox* cbDisplayTime = nullptr;
    TWavViewer* WavViewer = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button9 = nullptr;
    QPushButton* Button10 = nullptr;
    QProgressBar* pbBuildPeaks1 = nullptr;
    TKXAudioPeakViewer* Viewer1 = nullptr;
    QPushButton* btnLoadBoth = nullptr;
    QComboBox* cbAudioFilename = nullptr;

    // Form state.
    QString MediaFileName;
    bool StartOnDrop = false;

    // "PeakBuilder" page handlers.
    void Button5Click();
    void btnStartClick();
    void btnPauseClick();
    void btnStopClick();
    void btnClearClick();
    void cbCreatePeakFilesClick();
    void cbPeaksPerSecChange();
    void cbPeaksGainChange();
    void cbPostProcClick();
    void cbAbortClick();
    void DropFilesDropFiles(QObject* Sender);

    // "AudioPeakViewer" page handlers.
    void btnLoadFileClick();
    void btnGoToSecondsClick();
    void tbScalerChange();
    void btnLoadStreamClick();
    void btnLoadFromFileClick();
    void cbCursorAtMouseClick();
    void cbPreservePitchClick();
    void Button7Click();
    void btnMark3To7Click();
    void btnMark13To25Click();
    void Button11Click();
    void tbPlayStepPercentChange();

    // "PeakEffectViewer" page handlers.
    void btnLoadFromFile1Click();
    void Button12Click();
    void cbEffectClick(QCheckBox* box);
    void cbFocusedPointChange();
    void cbStereoEffectsClick();
    void tbEffectViewerScalerChange();
    void PeakEffectPopupPopup();
    void miDeletePointClick();

    // "Peaks test" page handlers.
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void CheckBox1Click();
    void cbDisplayTimeChange();
    void Button6Click();
    void btnLoadBothClick();
    void Button8Click();
    void Button9Click();
    void Button10Click();

    // Runs a handler; an exception it raises is shown in a message box.
    void Guarded(const std::function<void()>& handler);

    // Called instead of a beep, so tests can count them.
    std::function<void()> OnBeep;

private:
    template <typename... A>
    auto Guard(void (TForm1::*handler)())
    {
        return [this, handler](A...) { Guarded([this, handler] { (this->*handler)(); }); };
    }
    void CreateBuilderPage();
    void CreateViewerPage();
    void CreateEffectPage();
    void CreatePeaksTestPage();
    void CreateComponents();
    void WireBuilderEvents();
    void WirePlayer();
    void Log(const QString& line);
    void Beep();
    // Loads the builder's stream of a file into a viewer.
    void LoadViewerFromBuilder(TKXAudioPeakViewer* viewer, const QString& fileName);
    void UpdateBuildButtons();
    QString MediaFolder() const;
    QString OpenMediaDialog();
    QString OpenPeaksDialog();

    QStringList exampleMedia_;
};

} // namespace kx
