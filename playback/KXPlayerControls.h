#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>

#include "PlayerTypes.h"
#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"

#include "KXCommonPlayer.h"
#include "TransportButtons.h"

class QFileDialog;

namespace kx {

enum TCaptureMode { cmFile, cmBitmap, cmImage, cmCustom };

using TControlEvent = std::function<void(QObject* Sender, TControlOption Option, TSpeedType Speed)>;
using TOnSaveToFolderEvent = std::function<void(QObject* Sender, const QString& Folder)>;

// Transport bar of up to twelve buttons: drives a linked player panel, or
// reports each click through OnControlEvent.
class TKXPlayerControls : public QWidget, public DesignState
{
public:
    explicit TKXPlayerControls(QWidget* owner = nullptr);
    ~TKXPlayerControls() override;

    bool AutoEnable() const { return autoEnable_; }
    void SetAutoEnable(bool value);
    bool AutoSpace() const { return autoSpace_; }
    void SetAutoSpace(bool value);
    // The bar's own enabled flag: enables or disables the buttons as a whole.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    TButtonSet EnabledButtons() const { return enabledButtons_; }
    void SetEnabledButtons(TButtonSet value);
    bool FlatButtons() const { return flatButtons_; }
    void SetFlatButtons(bool value);
    bool FullStateUpdate() const { return fullStateUpdate_; }
    void SetFullStateUpdate(bool value) { fullStateUpdate_ = value; }
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value);
    TCaptureMode CaptureMode() const { return captureMode_; }
    void SetCaptureMode(TCaptureMode value) { captureMode_ = value; }
    bool RepeatPlaySelection() const { return repeatPlaySelection_; }
    void SetRepeatPlaySelection(bool value) { repeatPlaySelection_ = value; }
    QString SaveToFolder() const { return saveToFolder_; }
    void SetSaveToFolder(const QString& value);
    TButtonSet VisibleButtons() const { return visibleButtons_; }
    void SetVisibleButtons(TButtonSet value);
    TKXCommonPlayer* PlayerLib() const { return playerLib_; }
    void SetPlayerLib(TKXCommonPlayer* value);
    TSpeedType Speed() const { return speed_; }
    TButtonParams* ButtonWidths() const { return buttonWidths_; }
    TButtonSpacings* ButtonSpacings() const { return buttonSpacings_; }
    TSpeedButton* Button(TPLBtnType index) const { return buttons_[index]; }
    QFileDialog* SaveDialog() const { return saveDialog_; }
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    void SetLeft(int value);
    void SetTop(int value);
    void SetWidth(int value);
    void SetHeight(int value);

    // Places the buttons; returns the bar width to use.
    int Layout();
    // Presses the button of a player state, as for a linked panel's state
    // report; an owner that drives a player without a panel calls it itself.
    void FollowState(TPlayerState state);

    // Runs the capture save dialog and gives the chosen name, or "" when
    // cancelled. Tests replace it so that nothing blocks.
    using SaveDialogRunner = std::function<QString(QFileDialog& dialog)>;
    static SaveDialogRunner SetSaveDialogRunner(SaveDialogRunner runner);

    // Resource name of a button's glyph.
    static const char* GlyphName(TPLBtnType button);
    // The button's name, as its tooltip and accessible name show it.
    static QString ButtonCaption(TPLBtnType button);

    TMouseEvent OnCaptureMouseDown;
    TNotifyEvent OnCaptureToBitmap;
    TNotifyEvent OnCaptureToImage;
    TControlEvent OnControlEvent;
    TNotifyEvent OnCustomCapture;
    TNotifyEvent OnResize;
    TOnSaveToFolderEvent OnSaveToFolder;

protected:
    void resizeEvent(QResizeEvent* event) override;
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
    bool repeatPlaySelection_ = false;
    QFileDialog* saveDialog_ = nullptr;
    TSpeedType speed_ = 0;
    TButtonSet visibleButtons_ = kAllButtons;
    bool enabled_ = false;
    TColor color_ = clBtnFace;
    bool resizing_ = false;
};

} // namespace kx
