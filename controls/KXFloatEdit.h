#pragma once
#include <QImage>
#include <QLineEdit>
#include <QPoint>
#include <QPointer>
#include <QString>

#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"
#include "platform/Logging.h"
#include "platform/QtProperties.h"

class QWidget;

namespace kx {

/// Key is the typed character; setting it to 0 drops the key press.
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;
/// Handled set to true keeps the edit's own context menu closed.
using TContextPopupEvent = std::function<void(QObject* Sender, QPoint MousePos, bool& Handled)>;

/// A single-line edit for one floating-point number. The number is kept apart
/// from the text: typed text is taken on Enter or when focus leaves, a value
/// outside MinValue..MaxValue is refused (never clamped), and a square up/down
/// button at the right edge can step it. AllowText switches to free text.
///
/// Every event `OnX` is also the Qt signal `x`, emitted right after the
/// handler on the GUI thread; every setting is also a property, whose writes
/// never throw (a refusal is reported through error()).
class TKXFloatEdit : public QLineEdit, public DesignState
{
    Q_OBJECT
    /// The number; changes on its own as the user types, steps or leaves the edit.
    Q_PROPERTY(double float READ Float WRITE setFloat NOTIFY floatChanged)
    ///@{
    /// The settings of the same name (see their getters).
    Q_PROPERTY(double maxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(double minValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(int decimals READ Decimals WRITE setDecimals)
    Q_PROPERTY(bool thousands READ Thousands WRITE setThousands)
    Q_PROPERTY(double stepValue READ StepValue WRITE setStepValue)
    Q_PROPERTY(bool upDown READ UpDown WRITE setUpDown)
    Q_PROPERTY(QColor buttonColor READ ButtonColorAsQColor WRITE setButtonColor)
    Q_PROPERTY(QColor textBackColor READ TextBackColorAsQColor WRITE setTextBackColor)
    Q_PROPERTY(bool allowText READ AllowText WRITE setAllowText)
    Q_PROPERTY(QString savedText READ SavedText)
    /// Background colour of the edit.
    Q_PROPERTY(QColor color READ ColorAsQColor WRITE setColor)
    ///@}
    ///@{
    /// QLineEdit's own properties, taken over with this edit's rules: text
    /// is checked as a number unless allowText, height is kept within
    /// 10..64, and enabled redraws the up/down button.
    Q_PROPERTY(QString text READ Text WRITE setText NOTIFY change USER true)
    Q_PROPERTY(int height READ Height WRITE setHeight)
    Q_PROPERTY(bool enabled READ Enabled WRITE SetEnabled)
    ///@}
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setFloat(double value) { SetFloat(value); } ///< Writes float.
    void setMaxValue(double value) { SetMaxValue(value); } ///< Writes maxValue.
    void setMinValue(double value) { SetMinValue(value); } ///< Writes minValue.
    void setThousands(bool value) { SetThousands(value); } ///< Writes thousands.
    void setUpDown(bool value) { SetUpDown(value); } ///< Writes upDown.
    ///@}
public:
    /// An edit showing 0.0, bounds 0..1, one decimal.
    explicit TKXFloatEdit(QWidget* parent = nullptr);
    /// Frees the up/down button.
    ~TKXFloatEdit() override;

    ///@{
    /// The number; a value equal to the current one or outside the bounds is ignored.
    double Float() const { return floatValue_; }
    void SetFloat(double value);
    ///@}
    ///@{
    /// The bounds a number must lie within (inclusive); 0..1 by default.
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double value) { maxValue_ = value; }
    double MinValue() const { return minValue_; }
    void SetMinValue(double value) { minValue_ = value; }
    ///@}
    ///@{
    /// 0..18 digits after the decimal separator ("Decimals must be between 0 and 18").
    int Decimals() const { return decimals_; }
    void SetDecimals(int value);
    ///@}
    ///@{
    /// Groups the integer digits with the locale's separator.
    bool Thousands() const { return thousands_; }
    void SetThousands(bool value);
    ///@}
    ///@{
    /// 0 steps by one unit of the last shown digit (1 with Ctrl); negative throws.
    double StepValue() const { return stepValue_; }
    void SetStepValue(double value);
    ///@}
    ///@{
    /// Shows the up/down button at the right edge.
    bool UpDown() const { return upDown_; }
    void SetUpDown(bool value);
    ///@}
    ///@{
    /// Face colour of the up/down button; the QColor forms take and give Qt colours.
    TColor ButtonColor() const { return buttonColor_; }
    void SetButtonColor(TColor value);
    void SetButtonColor(const QColor& value) { SetButtonColor(FromQColor(value)); }
    QColor ButtonColorAsQColor() const { return ToQColor(buttonColor_, palette()); }
    ///@}
    ///@{
    /// Background while in free-text mode.
    TColor TextBackColor() const { return textBackColor_; }
    void SetTextBackColor(TColor value);
    void SetTextBackColor(const QColor& value) { SetTextBackColor(FromQColor(value)); }
    QColor TextBackColorAsQColor() const { return ToQColor(textBackColor_, palette()); }
    ///@}
    ///@{
    /// Free-text mode: any text is taken. Switching it off takes the saved
    /// text back as a number (which may throw "Value must be numerical").
    bool AllowText() const { return allowText_; }
    void SetAllowText(bool value);
    ///@}
    /// The text saved when free-text mode was switched on.
    QString SavedText() const { return savedText_; }
    ///@{
    /// Numeric unless AllowText: must parse ("Value must be numerical") and is
    /// taken only within the bounds.
    QString Text() const { return text(); }
    void SetText(const QString& value);
    ///@}
    ///@{
    /// 10..64 pixels ("Height can range from 10 to 64").
    int Height() const { return height(); }
    void SetHeight(int value);
    ///@}
    ///@{
    /// Enables the edit and its button (the button's arrows take the state's colour).
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    ///@}
    ///@{
    /// Background colour of the edit.
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    void SetColor(const QColor& value) { SetColor(FromQColor(value)); }
    QColor ColorAsQColor() const { return ToQColor(color_, palette()); }
    ///@}

    ///@{
    /// The property writers: as the setters, but a refused value is reported
    /// through error() instead of thrown.
    KX_PROPERTY_WRITER(int, setDecimals, SetDecimals, lcControls)
    KX_PROPERTY_WRITER(double, setStepValue, SetStepValue, lcControls)
    KX_PROPERTY_WRITER(bool, setAllowText, SetAllowText, lcControls)
    KX_PROPERTY_WRITER(const QString&, setText, SetText, lcControls)
    KX_PROPERTY_WRITER(int, setHeight, SetHeight, lcControls)
    KX_PROPERTY_WRITER(const QColor&, setButtonColor, SetButtonColor, lcControls)
    KX_PROPERTY_WRITER(const QColor&, setTextBackColor, SetTextBackColor, lcControls)
    KX_PROPERTY_WRITER(const QColor&, setColor, SetColor, lcControls)
    ///@}

    /// Client height from the last resize.
    int LastHeight() const { return lastHeight_; }
    /// The up/down button; null while UpDown is off.
    QWidget* ButtonImage() const { return buttonImage_; }
    /// The up/down button's picture.
    const QImage& ButtonBitmap() const { return buttonBitmap_; }

    /// The text the current value is shown with.
    QString FormatValue(double value) const;
    /// The number as shown, rounded to Decimals digits (2.7 with no decimals
    /// shows and gives 3), for callers that act on what the user sees.
    double ShownValue() const;

    /// Every text change, reformatting included.
    TNotifyEvent OnChange;
    /// A left click inside the edit.
    TNotifyEvent OnClick;
    /// A double click.
    TNotifyEvent OnDblClick;
    /// The context menu is about to open; Handled keeps it closed. Its signal
    /// leaves Handled out.
    TContextPopupEvent OnContextPopup;
    ///@{
    /// The edit took or lost the keyboard focus (not when only the window changed).
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    ///@}
    ///@{
    /// Keys as virtual-key codes. Setting Key to 0 drops the key, Enter
    /// included; the signals carry the key as the handlers left it.
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    ///@}
    ///@{
    /// Mouse buttons and moves, in the edit's coordinates.
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    ///@}

Q_SIGNALS:
    ///@{
    /// The events of the same name with "On", after their handlers.
    void change();
    void click();
    void dblClick();
    void contextPopup(QPoint mousePos);
    void enter();
    void exit();
    void keyDown(quint16 key, kx::TShiftState shift);
    void keyPress(QChar key);
    void keyUp(quint16 key, kx::TShiftState shift);
    void mouseDown(kx::TMouseButton button, kx::TShiftState shift, int x, int y);
    void mouseMove(kx::TShiftState shift, int x, int y);
    void mouseUp(kx::TMouseButton button, kx::TShiftState shift, int x, int y);
    ///@}
    /// The number changed, by the user or by code.
    void floatChanged(double value);
    /// A property write that was refused, with the reason.
    void error(const QString& message);

protected:
    /// @cond internal
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    /// @endcond

private:
    friend class TKXFloatEditButton;
    friend class FloatWatch;

    int ClientHeight() const;
    void Reformat();
    void TakeTypedText(bool reformat);
    void CreateButtons();
    void FreeButtons();
    void SizeButtons(int size);
    void PlaceButtons();
    void DrawButtons(bool downHalf, bool pressed);
    void ButtonMouseDown(int x, int y);
    void ButtonMouseUp(TMouseButton button, TShiftState shift, int x, int y);

    bool allowText_ = false;
    double floatValue_ = 0;
    QImage buttonBitmap_;
    QPointer<QWidget> buttonImage_;
    bool upDown_ = false;
    double maxValue_ = 1.0;
    int decimals_ = 1;
    TColor buttonColor_ = clBtnFace;
    int lastHeight_ = 0;
    bool thousands_ = false;
    QString savedText_;
    double savedValue_ = 0; ///< the number when savedText_ was taken
    bool savedOwnText_ = false;
    TColor textBackColor_ = clBtnFace;
    double minValue_ = 0.0;
    double stepValue_ = 0;
    bool enabled_ = true;
    TColor color_ = clWindow;
};

} // namespace kx
