#include "KXPlayerControls.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMouseEvent>
#include <QPixmap>

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

// A button set from the property system's int; what names the property.
TButtonSet ButtonSetOfBits(int bits, const char* what)
{
    if (bits < 0 || bits > int(kAllButtons.Bits()))
        throw Exception(QStringLiteral("%1 must be a set of the %2 buttons").arg(QLatin1String(what)).arg(kButtonCount));
    return TButtonSet::FromBits(uint32_t(bits));
}

} // namespace

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
    Q_EMIT resized();
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
    if (value != enabled_)
        ApplyEnabled(value);
}

void TKXPlayerControls::StoreEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    Q_EMIT controlsEnabledChanged(value);
}

void TKXPlayerControls::ApplyEnabled(bool value)
{
    StoreEnabled(value);
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
    // An audio player has no picture to capture and no selection to mark.
    if (audioPlayer_)
        set = set - TButtonSet{btMarkIn, btMarkOut, btCapture};
    SetEnabledButtons(set);
    autoEnable_ = true;
    StoreEnabled(true);
}

void TKXPlayerControls::DisableButtons()
{
    if (!autoEnable_)
        return;
    autoEnable_ = false;
    SetEnabledButtons({});
    autoEnable_ = true;
    StoreEnabled(false);
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
    if (value == enabledButtons_)
        return;
    enabledButtons_ = value;
    Q_EMIT enabledButtonsChanged(int(value.Bits()));
}

void TKXPlayerControls::SetEnabledButtonBits(int bits)
{
    SetEnabledButtons(ButtonSetOfBits(bits, "EnabledButtons"));
}

void TKXPlayerControls::SetVisibleButtonBits(int bits)
{
    SetVisibleButtons(ButtonSetOfBits(bits, "VisibleButtons"));
}

void TKXPlayerControls::SetCaptureModeOrdinal(int value)
{
    if (value < cmFile || value > cmCustom)
        throw Exception(QStringLiteral("CaptureMode must be between 0 and %1").arg(int(cmCustom)));
    SetCaptureMode(static_cast<TCaptureMode>(value));
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
    Q_EMIT saveToFolderChanged(value);
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

bool TKXPlayerControls::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched == buttons_[btCapture]) {
        auto* m = static_cast<QMouseEvent*>(event);
        const QPoint p = m->position().toPoint();
        const TMouseButton button = MouseButtonFromQt(m->button());
        const TShiftState shift = ShiftStateFromQt(m->modifiers(), m->buttons());
        Fire(OnCaptureMouseDown, watched, button, shift, p.x(), p.y());
        Q_EMIT captureMouseDown(button, shift, p.x(), p.y());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kx
