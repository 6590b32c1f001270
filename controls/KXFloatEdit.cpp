#include "KXFloatEdit.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "FloatText.h"
#include "platform/Exception.h"
#include "platform/QtInput.h"

namespace kx {

// The up/down button: shows the edit's button bitmap and hands mouse presses
// back to the edit.
class TKXFloatEditButton : public QWidget
{
public:
    explicit TKXFloatEditButton(TKXFloatEdit* edit) : QWidget(edit), edit_(edit)
    {
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, edit_->buttonBitmap_);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        const QPoint p = event->position().toPoint();
        edit_->ButtonMouseDown(p.x(), p.y());
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const QPoint p = event->position().toPoint();
        edit_->ButtonMouseUp(MouseButtonFromQt(event->button()),
                             ShiftStateFromQt(event->modifiers(), event->buttons()), p.x(), p.y());
    }

private:
    TKXFloatEdit* edit_;
};

// Emits floatChanged() when the operation it guards leaves another number.
class FloatWatch
{
public:
    explicit FloatWatch(TKXFloatEdit& edit) : edit_(edit), before_(edit.floatValue_) {}
    ~FloatWatch()
    {
        // Compared bit for bit would call two NaNs different; the number is never NaN.
        if (edit_.floatValue_ != before_)
            Q_EMIT edit_.floatChanged(edit_.floatValue_);
    }
    FloatWatch(const FloatWatch&) = delete;
    FloatWatch& operator=(const FloatWatch&) = delete;

private:
    TKXFloatEdit& edit_;
    const double before_;
};

TKXFloatEdit::TKXFloatEdit(QWidget* parent) : QLineEdit(parent)
{
    // File drops belong to the form, as with a native edit.
    setAcceptDrops(false);
    connect(this, &QLineEdit::textChanged, this, [this] {
        Fire(OnChange, this);
        Q_EMIT change();
    });
    QLineEdit::setText(FormatValue(0));
}

TKXFloatEdit::~TKXFloatEdit()
{
    if (buttonImage_)
        FreeButtons();
}

QString TKXFloatEdit::FormatValue(double value) const
{
    return FormatFloat(value, decimals_, thousands_, QLocale());
}

double TKXFloatEdit::ShownValue() const
{
    // The same conversion as the text, in the notation the parser reads.
    return ParseFloatText(FormatFloat(floatValue_, decimals_, false, QLocale::c())).value_or(floatValue_);
}

void TKXFloatEdit::Reformat()
{
    QLineEdit::setText(FormatValue(floatValue_));
}

void TKXFloatEdit::SetFloat(double value)
{
    FloatWatch watch(*this);
    // Written so that a NaN is refused too.
    if (value == floatValue_ || !(value >= minValue_ && value <= maxValue_))
        return;
    floatValue_ = value;
    Reformat();
}

void TKXFloatEdit::SetDecimals(int value)
{
    if (value == decimals_)
        return;
    if (value < 0 || value > 18)
        throw Exception("Decimals must be between 0 and 18");
    decimals_ = value;
    Reformat();
}

void TKXFloatEdit::SetThousands(bool value)
{
    if (value == thousands_)
        return;
    thousands_ = value;
    Reformat();
}

void TKXFloatEdit::SetStepValue(double value)
{
    if (value == stepValue_)
        return;
    if (!(value >= 0))
        throw Exception("Step value must be zero or positive");
    stepValue_ = value;
}

void TKXFloatEdit::SetText(const QString& value)
{
    FloatWatch watch(*this);
    if (allowText_) {
        QLineEdit::setText(value);
        return;
    }
    const auto number = ParseFloatText(value);
    if (!number)
        throw Exception("Value must be numerical");
    if (*number >= minValue_ && *number <= maxValue_) {
        floatValue_ = *number;
        QLineEdit::setText(FormatValue(*number));
    }
}

void TKXFloatEdit::SetAllowText(bool value)
{
    FloatWatch watch(*this);
    if (value == allowText_)
        return;
    if (value) {
        savedText_ = text();
        // Whether the saved text is the control's own showing of its number.
        savedOwnText_ = savedText_ == FormatValue(floatValue_);
        savedValue_ = floatValue_;
        allowText_ = true;
        SetColor(textBackColor_);
        return;
    }
    allowText_ = false;
    SetColor(clWindow);
    // The control's own text is restored from its number: read back, a
    // grouped or locale-formatted text would not parse.
    if (savedOwnText_) {
        if (savedValue_ >= minValue_ && savedValue_ <= maxValue_)
            floatValue_ = savedValue_;
        Reformat();
        return;
    }
    // Text typed before free text was switched on is taken as typed. Show
    // the number first, so that a text that is no number leaves a
    // numeric-mode control behind the exception.
    Reformat();
    SetText(savedText_);
}

void TKXFloatEdit::SetTextBackColor(TColor value)
{
    if (value == textBackColor_)
        return;
    textBackColor_ = value;
    if (allowText_)
        SetColor(value);
}

void TKXFloatEdit::SetColor(TColor value)
{
    color_ = value;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, ToQColor(value, pal));
    setPalette(pal);
    update();
}

void TKXFloatEdit::SetButtonColor(TColor value)
{
    buttonColor_ = value;
    if (buttonImage_) {
        DrawButtons(false, false);
        buttonImage_->update();
    }
    update();
}

void TKXFloatEdit::SetHeight(int value)
{
    if (value < 10 || value > 64)
        throw Exception("Height can range from 10 to 64");
    resize(width(), value);
}

void TKXFloatEdit::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    QLineEdit::setEnabled(value);
    update();
    if (upDown_) {
        // A new button takes the enabled or disabled arrow colour.
        FreeButtons();
        CreateButtons();
        SizeButtons(ClientHeight());
    }
}

void TKXFloatEdit::SetUpDown(bool value)
{
    if (value == upDown_)
        return;
    upDown_ = value;
    if (value) {
        CreateButtons();
        SizeButtons(ClientHeight());
    } else {
        FreeButtons();
    }
}

int TKXFloatEdit::ClientHeight() const
{
    const int frame = hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
    return std::max(0, height() - 2 * frame);
}

void TKXFloatEdit::CreateButtons()
{
    KX_ASSERT(!buttonImage_, "KXFloatEdit");
    buttonBitmap_ = QImage(64, 64, QImage::Format_RGB32);
    buttonBitmap_.fill(ToQColor(buttonColor_, palette()));
    auto* button = new TKXFloatEditButton(this);
    buttonImage_ = button;
    button->show();
    SizeButtons(ClientHeight());
}

void TKXFloatEdit::FreeButtons()
{
    KX_ASSERT(buttonImage_, "KXFloatEdit");
    delete buttonImage_.data();
    buttonImage_ = nullptr;
    buttonBitmap_ = QImage();
    setTextMargins(0, 0, 0, 0);
}

void TKXFloatEdit::SizeButtons(int size)
{
    if (!buttonImage_)
        return;
    size = std::max(0, size);
    buttonBitmap_ = QImage(size, size, QImage::Format_RGB32);
    buttonImage_->resize(size, size);
    DrawButtons(false, false);
    PlaceButtons();
    // Keep typed text clear of the button.
    setTextMargins(0, 0, size, 0);
    buttonImage_->update();
}

void TKXFloatEdit::PlaceButtons()
{
    if (!buttonImage_)
        return;
    const int frame = hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
    buttonImage_->move(width() - buttonImage_->width() - frame, frame);
}

void TKXFloatEdit::DrawButtons(bool downHalf, bool pressed)
{
    DrawUpDownButton(buttonBitmap_, downHalf, pressed, enabled_, buttonColor_, palette());
}

void TKXFloatEdit::ButtonMouseDown(int x, int y)
{
    DrawButtons(InDownHalf(x, y, buttonBitmap_.width()), true);
    buttonImage_->update();
}

void TKXFloatEdit::ButtonMouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    FloatWatch watch(*this);
    const bool down = InDownHalf(x, y, buttonBitmap_.width());
    DrawButtons(down, false);
    buttonImage_->update();
    if (button != mbLeft)
        return;
    const double step = ButtonStep(stepValue_, shift.Contains(ssCtrl), decimals_);
    // A step that would cross a bound is refused, not cut short.
    if (down) {
        const double next = AddStep(floatValue_, -step);
        if (next >= minValue_)
            floatValue_ = next;
    } else {
        const double next = AddStep(floatValue_, step);
        if (next <= maxValue_)
            floatValue_ = next;
    }
    Reformat();
}

void TKXFloatEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    const int client = ClientHeight();
    SizeButtons(client);
    lastHeight_ = client;
}

void TKXFloatEdit::TakeTypedText(bool reformat)
{
    FloatWatch watch(*this);
    const auto number = ParseFloatText(text());
    if (!number) {
        Reformat();
    } else if (*number >= minValue_ && *number <= maxValue_) {
        floatValue_ = *number;
        if (reformat)
            Reformat();
    }
}

void TKXFloatEdit::keyPressEvent(QKeyEvent* event)
{
    uint16_t key = VirtualKeyFromQt(event->key());
    if (key != 0) {
        const TShiftState shift = ShiftStateFromQt(event->modifiers());
        Fire(OnKeyDown, this, key, shift);
        Q_EMIT keyDown(key, shift);
        if (key == 0) {
            event->accept();
            return;
        }
    }
    const QString typed = event->text();
    QChar c = typed.isEmpty() ? QChar() : typed.front();
    if (!c.isNull()) {
        Fire(OnKeyPress, this, c);
        Q_EMIT keyPress(c);
    }
    if (typed.isEmpty() || c == typed.front()) {
        QLineEdit::keyPressEvent(event);
    } else if (!c.isNull()) {
        QKeyEvent replaced(event->type(), event->key(), event->modifiers(), QString(c), event->isAutoRepeat());
        QLineEdit::keyPressEvent(&replaced);
    } else {
        event->accept(); // the handler dropped the character
    }
    if (key == VK_RETURN || key == 10) {
        event->accept();
        TakeTypedText(true);
    }
}

void TKXFloatEdit::keyReleaseEvent(QKeyEvent* event)
{
    uint16_t key = VirtualKeyFromQt(event->key());
    if (key != 0) {
        const TShiftState shift = ShiftStateFromQt(event->modifiers());
        Fire(OnKeyUp, this, key, shift);
        Q_EMIT keyUp(key, shift);
    }
    QLineEdit::keyReleaseEvent(event);
}

void TKXFloatEdit::mousePressEvent(QMouseEvent* event)
{
    QLineEdit::mousePressEvent(event);
    const QPoint p = event->position().toPoint();
    const TMouseButton button = MouseButtonFromQt(event->button());
    const TShiftState shift = ShiftStateFromQt(event->modifiers(), event->buttons());
    Fire(OnMouseDown, this, button, shift, p.x(), p.y());
    Q_EMIT mouseDown(button, shift, p.x(), p.y());
}

void TKXFloatEdit::mouseMoveEvent(QMouseEvent* event)
{
    QLineEdit::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    const TShiftState shift = ShiftStateFromQt(event->modifiers(), event->buttons());
    Fire(OnMouseMove, this, shift, p.x(), p.y());
    Q_EMIT mouseMove(shift, p.x(), p.y());
}

void TKXFloatEdit::mouseReleaseEvent(QMouseEvent* event)
{
    QLineEdit::mouseReleaseEvent(event);
    const QPoint p = event->position().toPoint();
    const TMouseButton button = MouseButtonFromQt(event->button());
    const TShiftState shift = ShiftStateFromQt(event->modifiers(), event->buttons());
    Fire(OnMouseUp, this, button, shift, p.x(), p.y());
    Q_EMIT mouseUp(button, shift, p.x(), p.y());
    if (event->button() == Qt::LeftButton && rect().contains(p)) {
        Fire(OnClick, this);
        Q_EMIT click();
    }
}

void TKXFloatEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    Fire(OnDblClick, this);
    Q_EMIT dblClick();
}

void TKXFloatEdit::contextMenuEvent(QContextMenuEvent* event)
{
    bool handled = false;
    Fire(OnContextPopup, this, event->pos(), handled);
    Q_EMIT contextPopup(event->pos());
    if (handled)
        event->accept();
    else
        QLineEdit::contextMenuEvent(event);
}

void TKXFloatEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (buttonImage_)
        buttonImage_->raise();
    Fire(OnEnter, this);
    Q_EMIT enter();
}

void TKXFloatEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Switching to another window or opening a menu is not leaving the control.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason)
        return;
    Fire(OnExit, this);
    Q_EMIT exit();
    TakeTypedText(false); // valid typed text stays as typed
}

} // namespace kx
