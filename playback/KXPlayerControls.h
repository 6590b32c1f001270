#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "PlayerTypes.h"
#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"
#include "platform/Logging.h"
#include "platform/QtProperties.h"

#include "KXAudioPlayer.h"
#include "KXCommonPlayer.h"
#include "TransportButtons.h"

class QFileDialog;

namespace kx {

/// What the capture button does.
enum TCaptureMode { cmFile, cmBitmap, cmImage, cmCustom };

/// A button asks for Option; Speed is the bar's speed step after the click.
using TControlEvent = std::function<void(QObject* Sender, TControlOption Option, TSpeedType Speed)>;
/// The folder captures are saved to changed.
using TOnSaveToFolderEvent = std::function<void(QObject* Sender, const QString& Folder)>;

/// Transport bar of up to twelve buttons: drives a linked player panel
/// (SetPlayerLib) or audio player (SetAudioPlayer), and reports each click
/// through OnControlEvent when no panel is linked.
///
/// Every event is also the signal of the same name without "On", emitted
/// right after the handler on the GUI thread; OnResize's is resized() and
/// OnSaveToFolder's is saveToFolderChanged(), since resize and saveToFolder
/// are taken by QWidget::resize and the property.
class TKXPlayerControls : public QWidget, public DesignState
{
    Q_OBJECT
    /// AutoEnable(): controlsEnabled drives the buttons.
    Q_PROPERTY(bool autoEnable READ AutoEnable WRITE setAutoEnable)
    /// AutoSpace(): the buttons spread over the width.
    Q_PROPERTY(bool autoSpace READ AutoSpace WRITE setAutoSpace)
    /// Enabled(): the buttons as a whole, apart from QWidget's enabled.
    /// Changes by itself with a linked player's media.
    Q_PROPERTY(bool controlsEnabled READ Enabled WRITE setControlsEnabled NOTIFY controlsEnabledChanged)
    /// TButtonSet bits (bit n is TPLBtnType n); writable only without AutoEnable.
    Q_PROPERTY(int enabledButtons READ enabledButtonBits WRITE setEnabledButtons NOTIFY enabledButtonsChanged)
    /// FlatButtons().
    Q_PROPERTY(bool flatButtons READ FlatButtons WRITE setFlatButtons)
    /// FullStateUpdate(): every player state presses its button.
    Q_PROPERTY(bool fullStateUpdate READ FullStateUpdate WRITE setFullStateUpdate)
    /// GroupIndex() of the transport buttons.
    Q_PROPERTY(int groupIndex READ GroupIndex WRITE setGroupIndex)
    /// A TCaptureMode ordinal.
    Q_PROPERTY(int captureMode READ captureModeOrdinal WRITE setCaptureMode)
    /// RepeatPlaySelection().
    Q_PROPERTY(bool repeatPlaySelection READ RepeatPlaySelection WRITE setRepeatPlaySelection)
    /// SaveToFolder(): the capture dialog's folder.
    Q_PROPERTY(QString saveToFolder READ SaveToFolder WRITE setSaveToFolder NOTIFY saveToFolderChanged)
    /// TButtonSet bits (bit n is TPLBtnType n).
    Q_PROPERTY(int visibleButtons READ visibleButtonBits WRITE setVisibleButtons)
    /// Unlinks itself when the panel is destroyed.
    Q_PROPERTY(kx::TKXCommonPlayer* playerLib READ PlayerLib WRITE setPlayerLib NOTIFY linkChanged)
    /// Unlinks itself when the player is destroyed.
    Q_PROPERTY(kx::TKXCommonAudioPlayer* audioPlayer READ AudioPlayer WRITE setAudioPlayer NOTIFY linkChanged)
    /// Speed(): the fast forward or rewind step.
    Q_PROPERTY(int speed READ Speed)
    /// Color(), system colours resolved.
    Q_PROPERTY(QColor color READ ColorAsQColor WRITE setColor)
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setAutoEnable(bool value) { SetAutoEnable(value); } ///< Writes autoEnable.
    void setAutoSpace(bool value) { SetAutoSpace(value); } ///< Writes autoSpace.
    void setControlsEnabled(bool value) { SetEnabled(value); } ///< Writes controlsEnabled.
    void setFlatButtons(bool value) { SetFlatButtons(value); } ///< Writes flatButtons.
    void setFullStateUpdate(bool value) { SetFullStateUpdate(value); } ///< Writes fullStateUpdate.
    void setGroupIndex(int value) { SetGroupIndex(value); } ///< Writes groupIndex.
    void setRepeatPlaySelection(bool value) { SetRepeatPlaySelection(value); } ///< Writes repeatPlaySelection.
    void setSaveToFolder(const QString& value) { SetSaveToFolder(value); } ///< Writes saveToFolder.
    void setPlayerLib(kx::TKXCommonPlayer* value) { SetPlayerLib(value); } ///< Writes playerLib.
    void setAudioPlayer(kx::TKXCommonAudioPlayer* value) { SetAudioPlayer(value); } ///< Writes audioPlayer.
    ///@}
public:
    /// A bar of all twelve buttons, none enabled; owner is its parent widget.
    explicit TKXPlayerControls(QWidget* owner = nullptr);
    ~TKXPlayerControls() override;

    /// Enabled drives the enabled buttons; off, EnabledButtons sets them.
    bool AutoEnable() const { return autoEnable_; }
    /// Disables every button when it changes.
    void SetAutoEnable(bool value);
    /// The buttons are spread over the bar's width.
    bool AutoSpace() const { return autoSpace_; }
    /// Lays the buttons out again.
    void SetAutoSpace(bool value);
    /// The bar's own enabled flag: enables or disables the buttons as a whole.
    bool Enabled() const { return enabled_; }
    /// Enables the visible buttons (play selection only through the marks,
    /// only what a linked audio player serves) or disables them all.
    void SetEnabled(bool value);
    /// The buttons that are enabled.
    TButtonSet EnabledButtons() const { return enabledButtons_; }
    /// Throws "Cannot enable buttons when AutoEnable is true" for a non-empty set then.
    void SetEnabledButtons(TButtonSet value);
    /// Buttons are drawn flat.
    bool FlatButtons() const { return flatButtons_; }
    /// Sets FlatButtons on every button.
    void SetFlatButtons(bool value);
    /// Every state of a linked player presses its button (off: only stop and pause).
    bool FullStateUpdate() const { return fullStateUpdate_; }
    /// Sets FullStateUpdate.
    void SetFullStateUpdate(bool value) { fullStateUpdate_ = value; }
    /// Group of the transport buttons (one of them down at a time).
    int GroupIndex() const { return groupIndex_; }
    /// Moves the transport buttons to another group.
    void SetGroupIndex(int value);
    /// What the capture button does.
    TCaptureMode CaptureMode() const { return captureMode_; }
    /// Sets CaptureMode.
    void SetCaptureMode(TCaptureMode value) { captureMode_ = value; }
    /// A played selection starts again at its end.
    bool RepeatPlaySelection() const { return repeatPlaySelection_; }
    /// Sets RepeatPlaySelection.
    void SetRepeatPlaySelection(bool value) { repeatPlaySelection_ = value; }
    /// The save dialog's folder for captures.
    QString SaveToFolder() const { return saveToFolder_; }
    /// Sets the folder and reports OnSaveToFolder when it changed.
    void SetSaveToFolder(const QString& value);
    /// The buttons that exist and are shown.
    TButtonSet VisibleButtons() const { return visibleButtons_; }
    /// Makes or deletes buttons and lays them out.
    void SetVisibleButtons(TButtonSet value);
    /// The linked player panel; null when none.
    TKXCommonPlayer* PlayerLib() const { return playerLib_; }
    /// Links a player panel (null unlinks): the bar drives it and follows
    /// its state. Unlinks an audio player first.
    void SetPlayerLib(TKXCommonPlayer* value);
    /// The linked audio player; null when none.
    TKXCommonAudioPlayer* AudioPlayer() const { return audioPlayer_; }
    /// Links an audio player (null unlinks) through Qt connections, as an
    /// owner would wire it by hand: the bar is enabled while the player has
    /// media, its clicks drive the player, the player's states press the
    /// buttons. Capture, marks and play selection stay disabled while it is
    /// linked. OnControlEvent and the player's handlers stay the owner's:
    /// OnControlEvent still hears every click, so it must not drive the
    /// player too. Unlinking, or the player's destruction, gives the bar
    /// back its enabled flag from before the link. Unlinks a panel first.
    void SetAudioPlayer(TKXCommonAudioPlayer* value);
    /// The speed step fast forward and rewind have reached.
    TSpeedType Speed() const { return speed_; }
    /// Width of each button.
    TButtonParams* ButtonWidths() const { return buttonWidths_; }
    /// Gap to the right of each button.
    TButtonSpacings* ButtonSpacings() const { return buttonSpacings_; }
    /// A button; null when it is not visible.
    TSpeedButton* Button(TPLBtnType index) const { return buttons_[index]; }
    /// The capture save dialog.
    QFileDialog* SaveDialog() const { return saveDialog_; }
    /// The bar's background.
    TColor Color() const { return color_; }
    /// Color() with system colours resolved.
    QColor ColorAsQColor() const { return ToQColor(color_); }
    /// Paints the background in this colour.
    void SetColor(TColor value);
    /// SetColor from a Qt colour.
    void SetColor(const QColor& value) { SetColor(FromQColor(value)); }
    /// Moves the bar.
    void SetLeft(int value);
    /// Moves the bar.
    void SetTop(int value);
    /// Resizes the bar and fits the buttons (also while hidden).
    void SetWidth(int value);
    /// Resizes the bar and fits the buttons (also while hidden).
    void SetHeight(int value);

    /// Places the buttons; returns the bar width to use.
    int Layout();
    /// Presses the button of a player state, as for a linked panel's state
    /// report; an owner that drives a player without a panel calls it itself.
    void FollowState(TPlayerState state);

    /// Runs the capture save dialog and gives the chosen name, or "" when
    /// cancelled. Tests replace it so that nothing blocks.
    using SaveDialogRunner = std::function<QString(QFileDialog& dialog)>;
    /// Replaces the dialog runner; gives the previous one.
    static SaveDialogRunner SetSaveDialogRunner(SaveDialogRunner runner);

    /// Resource name of a button's glyph.
    static const char* GlyphName(TPLBtnType button);
    /// The button's name, as its tooltip and accessible name show it.
    static QString ButtonCaption(TPLBtnType button);

    /// A mouse button went down on the capture button.
    TMouseEvent OnCaptureMouseDown;
    /// Capture in cmBitmap mode.
    TNotifyEvent OnCaptureToBitmap;
    /// Capture in cmImage mode.
    TNotifyEvent OnCaptureToImage;
    /// A click, when no panel is linked.
    TControlEvent OnControlEvent;
    /// Capture in cmCustom mode.
    TNotifyEvent OnCustomCapture;
    /// The bar was resized.
    TNotifyEvent OnResize;
    /// SaveToFolder changed.
    TOnSaveToFolderEvent OnSaveToFolder;

    /// EnabledButtons() as bits, for the property system.
    int enabledButtonBits() const { return int(enabledButtons_.Bits()); }
    /// VisibleButtons() as bits, for the property system.
    int visibleButtonBits() const { return int(visibleButtons_.Bits()); }
    /// CaptureMode() as its ordinal, for the property system.
    int captureModeOrdinal() const { return int(captureMode_); }
    /// The enabledButtons property's writer: a refusal goes to error().
    KX_PROPERTY_WRITER(int, setEnabledButtons, SetEnabledButtonBits, lcPlayback)
    /// The visibleButtons property's writer: a refusal goes to error().
    KX_PROPERTY_WRITER(int, setVisibleButtons, SetVisibleButtonBits, lcPlayback)
    /// The captureMode property's writer: a refusal goes to error().
    KX_PROPERTY_WRITER(int, setCaptureMode, SetCaptureModeOrdinal, lcPlayback)
    /// The color property's writer.
    void setColor(const QColor& value) { SetColor(value); }

Q_SIGNALS:
    /// OnCaptureMouseDown, in the capture button's coordinates.
    void captureMouseDown(kx::TMouseButton button, kx::TShiftState shift, int x, int y);
    /// OnCaptureToBitmap.
    void captureToBitmap();
    /// OnCaptureToImage.
    void captureToImage();
    /// OnControlEvent, with the bar's speed step.
    void controlEvent(kx::TControlOption option, int speed);
    /// OnCustomCapture.
    void customCapture();
    /// OnResize.
    void resized();
    /// OnSaveToFolder.
    void saveToFolderChanged(const QString& folder);
    /// Enabled() changed.
    void controlsEnabledChanged(bool enabled);
    /// EnabledButtons() changed, as bits.
    void enabledButtonsChanged(int buttons);
    /// A panel or audio player was linked or unlinked.
    void linkChanged();
    /// A property write was refused, with the reason.
    void error(const QString& message);

protected:
    /// Fits the buttons; OnResize and resized().
    void resizeEvent(QResizeEvent* event) override;
    /// A mouse press on the capture button: OnCaptureMouseDown and its signal.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TSpeedButton* CreateButton(TPLBtnType index, bool transparent);
    void ButtonClick(QObject* sender);
    void Report(TControlOption option);
    void PressButton(TPLBtnType index);
    void ReleaseButton(TPLBtnType index);
    bool ButtonShown(TPLBtnType index) const;
    void StepFast(int step);
    void UpdatePlaySelection();
    void Capture();
    void EnableButtons();
    void DisableButtons();
    void InstallHooks(TKXCommonPlayer* panel);
    void StoreEnabled(bool value);
    // Enables or disables the buttons again, also when the flag is unchanged.
    void ApplyEnabled(bool value);
    void UnlinkAudio();
    void AudioPlayerGone();
    // Range checks of the property system's ints.
    void SetEnabledButtonBits(int bits);
    void SetVisibleButtonBits(int bits);
    void SetCaptureModeOrdinal(int value);
    void SelectionEnded();
    void ParamsChanged();
    void ApplyLayout(const TButtonLayout& layout);
    void Fit();

    bool autoEnable_ = true;
    bool autoSpace_ = false;
    QString saveToFolder_;
    std::array<TSpeedButton*, kButtonCount> buttons_{};
    TButtonSpacings* buttonSpacings_ = nullptr;
    TButtonParams* buttonWidths_ = nullptr;
    TCaptureMode captureMode_ = cmFile;
    TButtonSet enabledButtons_;
    bool flatButtons_ = true;
    bool fullStateUpdate_ = false;
    int groupIndex_ = 16;
    QPointer<TKXCommonPlayer> playerLib_;
    QPointer<TKXCommonAudioPlayer> audioPlayer_;
    std::vector<QMetaObject::Connection> audioLinks_;
    bool enabledBeforeLink_ = false;
    bool repeatPlaySelection_ = false;
    QFileDialog* saveDialog_ = nullptr;
    TSpeedType speed_ = 0;
    TButtonSet visibleButtons_ = kAllButtons;
    bool enabled_ = false;
    TColor color_ = clBtnFace;
    bool resizing_ = false;
};

} // namespace kx
