#include "KXPlayerControls.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMouseEvent>
#include <QPixmap>
#include <QRegularExpression>

#include "KXCommonPlayer.h"
#include "platform/Exception.h"
#include "platform/widgets/FileDialogs.h"
#include "platform/QtInput.h"

static void InitGlyphResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(glyphs);
        return true;
    }();
    (void)done;
}

namespace kx {

namespace {

// Group indexes of the mark and play-selection buttons: each one its own group.
constexpr int kMarkInGroup = 65533;
constexpr int kMarkOutGroup = 65334;
constexpr int kPlaySelGroup = 65335;

TKXPlayerControls::SaveDialogRunner& Runner()
{
    static TKXPlayerControls::SaveDialogRunner runner;
    return runner;
}

QString RunSaveDialog(QFileDialog& dialog)
{
    if (Runner())
        return Runner()(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

} // namespace

TButtonParams::TButtonParams(int value)
{
    values_.fill(value);
}

void TButtonParams::SetValue(TPLBtnType button, int value)
{
    values_[button] = value;
    if (OnChange)
        OnChange(this);
}

void TButtonParams::AddToAll(int delta)
{
    for (int& v : values_)
        v += delta;
}

TSpeedButton::TSpeedButton(QWidget* parent) : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void TSpeedButton::SetGroupIndex(int value)
{
    groupIndex_ = value;
    setCheckable(value != 0);
    if (value == 0)
        setChecked(false);
}

void TSpeedButton::SetDown(bool value)
{
    if (groupIndex_ == 0)
        return;
    setChecked(value);
    if (!value || !parentWidget())
        return;
    for (auto* other : parentWidget()->findChildren<TSpeedButton*>(Qt::FindDirectChildrenOnly)) {
        if (other != this && other->groupIndex_ == groupIndex_)
            other->setChecked(false);
    }
}

void TSpeedButton::nextCheckState()
{
    if (groupIndex_ == 0)
        return;
    SetDown(allowAllUp_ ? !isChecked() : true);
}

void TSpeedButton::SetGlyph(const QPixmap& strip, int numGlyphs)
{
    numGlyphs_ = numGlyphs < 1 ? 1 : numGlyphs;
    const int cell = strip.width() / numGlyphs_;
    QIcon icon;
    icon.addPixmap(strip.copy(0, 0, cell, strip.height()), QIcon::Normal, QIcon::Off);
    if (numGlyphs_ >= 2)
        icon.addPixmap(strip.copy(cell, 0, cell, strip.height()), QIcon::Disabled, QIcon::Off);
    if (numGlyphs_ >= 3)
        icon.addPixmap(strip.copy(2 * cell, 0, cell, strip.height()), QIcon::Active, QIcon::On);
    if (numGlyphs_ >= 4)
        icon.addPixmap(strip.copy(3 * cell, 0, cell, strip.height()), QIcon::Normal, QIcon::On);
    setIcon(icon);
    setIconSize(QSize(cell, strip.height()));
}

int LayoutButtons(TButtonLayout& layout, TButtonSet visibleButtons, const std::array<int, kButtonCount>& spacings,
                  int barWidth, bool autoSpace)
{
    auto place = [&] {
        int x = 0;
        for (int i = 0; i < kButtonCount; ++i) {
            if (!layout.exists[i])
                continue;
            layout.lefts[i] = x;
            x += layout.widths[i] + spacings[i];
        }
        return x;
    };
    if (!autoSpace)
        return place();

    int count = 0;
    for (int i = 0; i < kButtonCount; ++i)
        count += layout.exists[i] && layout.shown[i];
    if (count == 0)
        return barWidth;
    int widths = 0, gaps = 0;
    for (int i = 0; i < kButtonCount; ++i) {
        if (visibleButtons.Contains(static_cast<TPLBtnType>(i))) {
            widths += layout.widths[i];
            gaps += spacings[i];
        }
    }
    const int free = barWidth - widths - gaps;
    int delta = free / count;
    if (free < 0)
        delta -= 1;
    for (int& w : layout.widths)
        w += delta;
    const int x = place();
    // The pixels left over widen the gaps before the last buttons by one each.
    int r = barWidth - x;
    for (int i = kButtonCount - 1; i >= 0 && r != 0; --i) {
        if (!layout.exists[i] || !layout.shown[i])
            continue;
        layout.lefts[i] += r;
        r += r > 0 ? -1 : 1;
    }
    return barWidth;
}

QString TKXPlayerControls::ButtonCaption(TPLBtnType button)
{
    static const char* const captions[kButtonCount] = {
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Go to start"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Fast rewind"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Step back"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Stop"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Play"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Step forward"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Fast forward"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Go to end"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Mark in"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Mark out"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Play selection"),
        QT_TRANSLATE_NOOP("TKXPlayerControls", "Capture picture")};
    return QCoreApplication::translate("TKXPlayerControls", captions[button]);
}

const char* TKXPlayerControls::GlyphName(TPLBtnType button)
{
    static const char* const names[kButtonCount] = {"GOTOSTART", "FR",     "STEPBACK", "STOP",    "PLAY",    "STEPFWD",
                                                    "FF",        "GOTOEND", "MARKIN",   "MARKOUT", "PLAYSEL", "CAP"};
    return names[button];
}

TKXPlayerControls::SaveDialogRunner TKXPlayerControls::SetSaveDialogRunner(SaveDialogRunner runner)
{
    SaveDialogRunner previous = std::move(Runner());
    Runner() = std::move(runner);
    return previous;
}

TKXPlayerControls::TKXPlayerControls(QWidget* owner) : QWidget(owner)
{
    InitGlyphResources();
    autoEnable_ = true;
    buttonWidths_ = new TButtonParams(32);
    buttonWidths_->SetPlay(72);
    buttonWidths_->OnChange = [this](TButtonParams*) { ParamsChanged(); };
    buttonSpacings_ = new TButtonSpacings(0);
    buttonSpacings_->SetGotToEnd(20);
    buttonSpacings_->SetPlaySelection(20);
    buttonSpacings_->OnChange = [this](TButtonParams*) { ParamsChanged(); };
    groupIndex_ = 16;
    resize(0, 32);
    flatButtons_ = true;
    visibleButtons_ = kAllButtons;
    for (int i = 0; i < kButtonCount; ++i)
        CreateButton(static_cast<TPLBtnType>(i), true);
    PressButton(btStop);

    saveDialog_ = new QFileDialog(this);
    saveDialog_->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog_->setDefaultSuffix(QStringLiteral("bmp"));
    saveDialog_->selectFile(QStringLiteral("Untitled.bmp"));
    saveDialog_->setWindowTitle(QCoreApplication::translate("TKXPlayerControls", "Save image to file"));
    saveDialog_->setNameFilter(QtFileFilter(QStringLiteral("Bitmap files (*.bmp)|*.BMP")));
    if (!saveToFolder_.isEmpty())
        saveDialog_->setDirectory(saveToFolder_);

    SetWidth(Layout());
    update();
}

TKXPlayerControls::~TKXPlayerControls()
{
    if (playerLib_)
        playerLib_->ClearHooks();
    delete buttonWidths_;
    delete buttonSpacings_;
    buttonWidths_ = nullptr;
    buttonSpacings_ = nullptr;
}

TSpeedButton* TKXPlayerControls::CreateButton(TPLBtnType index, bool transparent)
{
    auto* b = new TSpeedButton(this);
    QObject::connect(b, &QToolButton::clicked, this, [this, b] { ButtonClick(b); });
    b->move(0, 0);
    b->resize(buttonWidths_->Value(index), height());
    b->setAutoRaise(flatButtons_);
    if (transparent)
        b->setAttribute(Qt::WA_TranslucentBackground);
    switch (index) {
    case btMarkIn:
        b->SetGroupIndex(kMarkInGroup);
        b->SetAllowAllUp(true);
        break;
    case btMarkOut:
        b->SetGroupIndex(kMarkOutGroup);
        b->SetAllowAllUp(true);
        break;
    case btPlaySel:
        b->SetGroupIndex(kPlaySelGroup);
        b->SetAllowAllUp(true);
        break;
    case btCapture: break;
    default:
        b->SetGroupIndex(index == btStepBack || index == btStepFrwd ? 0 : groupIndex_);
        b->SetAllowAllUp(false);
        break;
    }
    // The glyphs say nothing to a screen reader or a new user.
    b->setToolTip(ButtonCaption(index));
    b->setAccessibleName(ButtonCaption(index));
    const QPixmap glyph(QStringLiteral(":/playback/glyphs/") + QLatin1String(GlyphName(index)));
    b->SetGlyph(glyph, index == btMarkIn || index == btMarkOut ? 4 : 1);
    b->setEnabled(enabledButtons_.Contains(index));
    b->setVisible(visibleButtons_.Contains(index));
    // Every capture button, also one made later, passes its mouse-down on.
    if (index == btCapture)
        b->installEventFilter(this);
    buttons_[index] = b;
    return b;
}

bool TKXPlayerControls::ButtonShown(TPLBtnType index) const
{
    return buttons_[index] && !buttons_[index]->isHidden();
}

void TKXPlayerControls::PressButton(TPLBtnType index)
{
    if (buttons_[index])
        buttons_[index]->SetDown(true);
}

void TKXPlayerControls::ReleaseButton(TPLBtnType index)
{
    if (buttons_[index])
        buttons_[index]->SetDown(false);
}

int TKXPlayerControls::Layout()
{
    TButtonLayout layout;
    for (int i = 0; i < kButtonCount; ++i) {
        layout.exists[i] = buttons_[i] != nullptr;
        layout.shown[i] = ButtonShown(static_cast<TPLBtnType>(i));
    }
    layout.widths = buttonWidths_->GetValues();
    const bool spread = autoSpace_ && !Loading();
    const int result = LayoutButtons(layout, visibleButtons_, buttonSpacings_->GetValues(), width(), spread);
    if (spread) {
        bool placed = false;
        for (int i = 0; i < kButtonCount && !placed; ++i)
            placed = layout.exists[i] && layout.shown[i];
        if (!placed)
            return result;
        // The widths keep the spread, so the next layout starts from them.
        buttonWidths_->AddToAll(layout.widths[0] - buttonWidths_->Value(btGoToStart));
    }
    ApplyLayout(layout);
    return result;
}

void TKXPlayerControls::ApplyLayout(const TButtonLayout& layout)
{
    for (int i = 0; i < kButtonCount; ++i) {
        if (buttons_[i])
            buttons_[i]->setGeometry(layout.lefts[i], 0, layout.widths[i], height());
    }
}

void TKXPlayerControls::ParamsChanged()
{
    const int w = Layout();
    if (!autoSpace_ && w != width())
        SetWidth(w);
}

void TKXPlayerControls::Fit()
{
    if (resizing_)
        return;
    resizing_ = true;
    for (TSpeedButton* b : buttons_) {
        if (b)
            b->resize(b->width(), height());
    }
    const int w = Layout();
    // Without AutoSpace the bar is exactly as wide as its buttons.
    if (!autoSpace_ && w != width())
        resize(w, height());
    resizing_ = false;
}

void TKXPlayerControls::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Fit();
    Fire(OnResize, this);
}

void TKXPlayerControls::SetAutoEnable(bool value)
{
    if (value == autoEnable_)
        return;
    SetEnabledButtons({});
    autoEnable_ = value;
}

void TKXPlayerControls::SetAutoSpace(bool value)
{
    autoSpace_ = value;
    Layout();
}

void TKXPlayerControls::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    if (value)
        EnableButtons();
    else
        DisableButtons();
}

void TKXPlayerControls::EnableButtons()
{
    if (!autoEnable_)
        return;
    autoEnable_ = false;
    TButtonSet set = visibleButtons_;
    set.Exclude(btPlaySel); // enabled only through the marks
    SetEnabledButtons(set);
    autoEnable_ = true;
    enabled_ = true;
}

void TKXPlayerControls::DisableButtons()
{
    if (!autoEnable_)
        return;
    autoEnable_ = false;
    SetEnabledButtons({});
    autoEnable_ = true;
    enabled_ = false;
}

void TKXPlayerControls::SetEnabledButtons(TButtonSet value)
{
    if (autoEnable_) {
        if (!value.Empty())
            throw Exception("Cannot enable buttons when AutoEnable is true");
        return;
    }
    for (int i = 0; i < kButtonCount; ++i) {
        const auto index = static_cast<TPLBtnType>(i);
        if (buttons_[i])
            buttons_[i]->setEnabled(value.Contains(index));
        else
            value.Exclude(index);
    }
    enabledButtons_ = value;
}

void TKXPlayerControls::SetFlatButtons(bool value)
{
    flatButtons_ = value;
    for (TSpeedButton* b : buttons_) {
        if (b)
            b->setAutoRaise(value);
    }
}

void TKXPlayerControls::SetGroupIndex(int value)
{
    if (value == groupIndex_)
        return;
    groupIndex_ = value;
    for (int i = btGoToStart; i <= btGoToEnd; ++i) {
        if (buttons_[i])
            buttons_[i]->SetGroupIndex(value);
    }
}

void TKXPlayerControls::SetSaveToFolder(const QString& value)
{
    if (value == saveToFolder_)
        return;
    saveToFolder_ = value;
    saveDialog_->setDirectory(value);
    Fire(OnSaveToFolder, this, value);
}

void TKXPlayerControls::SetVisibleButtons(TButtonSet value)
{
    visibleButtons_ = value;
    for (int i = 0; i < kButtonCount; ++i) {
        const auto index = static_cast<TPLBtnType>(i);
        if (value.Contains(index) && !buttons_[i]) {
            CreateButton(index, false);
        } else if (!value.Contains(index) && buttons_[i]) {
            delete buttons_[i];
            buttons_[i] = nullptr;
        }
    }
    SetWidth(Layout());
    update();
}

void TKXPlayerControls::SetColor(TColor value)
{
    color_ = value;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, ToQColor(value));
    setPalette(p);
}

void TKXPlayerControls::SetLeft(int value)
{
    if (value != x())
        move(value, y());
}

void TKXPlayerControls::SetTop(int value)
{
    if (value != y())
        move(x(), value);
}

// A hidden widget gets its resize event only when shown, so the setters
// fit the buttons themselves.
void TKXPlayerControls::SetWidth(int value)
{
    if (value == width())
        return;
    resize(value, height());
    Fit();
}

void TKXPlayerControls::SetHeight(int value)
{
    if (value == height())
        return;
    resize(width(), value);
    Fit();
}

void TKXPlayerControls::SetPlayerLib(TKXCommonPlayer* value)
{
    if (value == playerLib_)
        return;
    if (playerLib_) {
        playerLib_->ClearHooks();
        QObject::disconnect(playerLib_, &QObject::destroyed, this, nullptr);
    }
    playerLib_ = value;
    if (value) {
        InstallHooks(value);
        // A panel that goes away unlinks itself.
        QObject::connect(value, &QObject::destroyed, this, [this] { playerLib_ = nullptr; });
    }
    if (autoEnable_ && playerLib_)
        SetEnabled(playerLib_->State() > psClosed);
}

void TKXPlayerControls::InstallHooks(TKXCommonPlayer* panel)
{
    panel->StateHook = [this](QObject*, TPlayerState state) { FollowState(state); };
    panel->EnableHook = [this] { EnableButtons(); };
    panel->DisableHook = [this] { DisableButtons(); };
    panel->SpeedResetHook = [this] { speed_ = 0; };
    panel->SelectionEndedHook = [this] { SelectionEnded(); };
    panel->ButtonDownHook = [this](int index, bool down) {
        if (index >= 0 && index < kButtonCount && buttons_[index])
            buttons_[index]->SetDown(down);
        UpdatePlaySelection();
    };
    panel->SelectionDownHook = [this](bool down) {
        if (ButtonShown(btPlaySel))
            buttons_[btPlaySel]->SetDown(down);
    };
}

void TKXPlayerControls::FollowState(TPlayerState state)
{
    auto pressIfShown = [this](TPLBtnType index) {
        if (visibleButtons_.Contains(index) && ButtonShown(index))
            PressButton(index);
    };
    if (!fullStateUpdate_) {
        if (state == psStop || state == psPause)
            pressIfShown(btStop);
        return;
    }
    switch (state) {
    case psClosed:
    case psRendering:
    case psStop:
    case psPause:
        if (ButtonShown(btPlaySel))
            ReleaseButton(btPlaySel);
        pressIfShown(btStop);
        break;
    case psPlay: pressIfShown(btPlay); break;
    case psFF: pressIfShown(btFF); break;
    case psFR: pressIfShown(btFR); break;
    default: break;
    }
}

void TKXPlayerControls::SelectionEnded()
{
    if (!playerLib_)
        return;
    if (repeatPlaySelection_) {
        playerLib_->PlaySelection(true);
    } else if (visibleButtons_.Contains(btPlaySel)) {
        ReleaseButton(btPlaySel);
        playerLib_->Stop();
    }
}

void TKXPlayerControls::UpdatePlaySelection()
{
    if (!buttons_[btMarkIn] || !buttons_[btMarkOut] || !buttons_[btPlaySel])
        return;
    buttons_[btPlaySel]->setEnabled(buttons_[btMarkIn]->Down() || buttons_[btMarkOut]->Down());
}

void TKXPlayerControls::Report(TControlOption option)
{
    if (OnControlEvent)
        OnControlEvent(this, option, speed_);
}

void TKXPlayerControls::ButtonClick(QObject* sender)
{
    TKXCommonPlayer* panel = playerLib_;
    if (!panel && !OnControlEvent)
        return;
    TPLBtnType button = btStop;
    for (int i = 0; i < kButtonCount; ++i) {
        if (visibleButtons_.Contains(static_cast<TPLBtnType>(i)) && buttons_[i] == sender) {
            button = static_cast<TPLBtnType>(i);
            break;
        }
    }
    if (button != btFR && button != btFF)
        speed_ = 0;

    switch (button) {
    case btGoToStart: panel ? panel->GoToStart() : Report(coGoToStart); break;
    case btFR: StepFastRewind(); break;
    case btStepBack:
        if (visibleButtons_.Contains(btStop))
            PressButton(btStop);
        panel ? panel->StepBack() : Report(coStepBack);
        break;
    case btStop: panel ? panel->Pause() : Report(coPause); break;
    case btPlay:
        if (panel && panel->State() != psPlay)
            panel->Play();
        else
            Report(coPlay);
        break;
    case btStepFrwd:
        if (visibleButtons_.Contains(btStop))
            PressButton(btStop);
        panel ? panel->StepForward() : Report(coStepForward);
        break;
    case btFF: StepFastForward(); break;
    case btGoToEnd: panel ? panel->GoToEnd() : Report(coGoToEnd); break;
    case btMarkIn:
    case btMarkOut:
        if (panel) {
            const int64_t duration = panel->Duration();
            // No media length, no meaningful fraction: mark the start.
            double fraction = duration > 0 ? static_cast<double>(panel->Position()) / static_cast<double>(duration) : 0.0;
            if (button == btMarkIn)
                panel->SetMarkIn(buttons_[btMarkIn]->Down(), fraction);
            else
                panel->SetMarkOut(buttons_[btMarkOut]->Down(), fraction);
            UpdatePlaySelection();
        }
        break;
    case btPlaySel:
        if (panel && panel->HasSelection()) {
            if (buttons_[btPlaySel]->Down())
                panel->PlaySelection(true);
            else
                panel->Stop();
        }
        break;
    case btCapture:
        if (panel)
            Capture();
        break;
    }
}

void TKXPlayerControls::StepFastForward()
{
    TKXCommonPlayer* panel = playerLib_;
    if (speed_ == -1) {
        speed_ = 0;
        if (panel) {
            panel->SetSpeed(0);
            panel->Stop();
        } else {
            Report(coFastForward);
        }
        PressButton(btStop);
    } else if (speed_ >= 4) {
        return;
    } else {
        ++speed_;
        panel ? panel->SetSpeed(speed_) : Report(coFastForward);
    }
}

void TKXPlayerControls::StepFastRewind()
{
    TKXCommonPlayer* panel = playerLib_;
    if (speed_ == 1) {
        speed_ = 0;
        if (panel) {
            panel->SetSpeed(0);
            panel->Stop();
        } else {
            Report(coFastRewind);
        }
        PressButton(btStop);
    } else if (speed_ <= -4) {
        return;
    } else {
        --speed_;
        panel ? panel->SetSpeed(speed_) : Report(coFastRewind);
    }
}

void TKXPlayerControls::Capture()
{
    switch (captureMode_) {
    case cmFile: {
        const QString name = RunSaveDialog(*saveDialog_);
        if (!name.isEmpty() && playerLib_)
            playerLib_->CaptureToFile(name);
        break;
    }
    case cmBitmap: Fire(OnCaptureToBitmap, this); break;
    case cmImage: Fire(OnCaptureToImage, this); break;
    case cmCustom: Fire(OnCustomCapture, this); break;
    }
}

bool TKXPlayerControls::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched == buttons_[btCapture] && OnCaptureMouseDown) {
        auto* m = static_cast<QMouseEvent*>(event);
        const QPoint p = m->position().toPoint();
        OnCaptureMouseDown(watched, MouseButtonFromQt(m->button()), ShiftStateFromQt(m->modifiers(), m->buttons()),
                           p.x(), p.y());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kx
