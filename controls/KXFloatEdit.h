#pragma once
#include <QImage>
#include <QLineEdit>
#include <QPoint>
#include <QPointer>
#include <QString>

#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"

class QWidget;

namespace kx {

// Key is the typed character; setting it to 0 drops the key press.
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;
// Handled set to true keeps the edit's own context menu closed.
using TContextPopupEvent = std::function<void(QObject* Sender, QPoint MousePos, bool& Handled)>;

// A single-line edit for one floating-point number. The number is kept apart
// from the text: typed text is taken on Enter or when focus leaves, a value
// outside MinValue..MaxValue is refused (never clamped), and a square up/down
// button at the right edge can step it. AllowText switches to free text.
class TKXFloatEdit : public QLineEdit, public DesignState
{
    Q_OBJECT
public:
    explicit TKXFloatEdit(QWidget* parent = nullptr);
    ~TKXFloatEdit() override;

    // The number; a value equal to the current one or outside the bounds is ignored.
    double Float() const { return floatValue_; }
    void SetFloat(double value);
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double value) { maxValue_ = value; }
    double MinValue() const { return minValue_; }
    void SetMinValue(double value) { minValue_ = value; }
    // 0..18 digits after the decimal separator.
    int Decimals() const { return decimals_; }
    void SetDecimals(int value);
    // Groups the integer digits with the locale's separator.
    bool Thousands() const { return thousands_; }
    void SetThousands(bool value);
    // 0 steps by one unit of the last shown digit (1 with Ctrl).
    double StepValue() const { return stepValue_; }
    void SetStepValue(double value);
    bool UpDown() const { return upDown_; }
    void SetUpDown(bool value);
    TColor ButtonColor() const { return buttonColor_; }
    void SetButtonColor(TColor value);
    // Background while in free-text mode.
    TColor TextBackColor() const { return textBackColor_; }
    void SetTextBackColor(TColor value);
    bool AllowText() const { return allowText_; }
    void SetAllowText(bool value);
    // The text saved when free-text mode was switched on.
    QString SavedText() const { return savedText_; }
    // Numeric unless AllowText: must parse ("Value must be numerical") and is
    // taken only within the bounds.
    QString Text() const { return text(); }
    void SetText(const QString& value);
    // 10..64 pixels.
    int Height() const { return height(); }
    void SetHeight(int value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // Background colour of the edit.
    TColor Color() const { return color_; }
    void SetColor(TColor value);

    // Client height from the last resize.
    int LastHeight() const { return lastHeight_; }
    // The up/down button and its picture; null while UpDown is off.
    QWidget* ButtonImage() const { return buttonImage_; }
    const QImage& ButtonBitmap() const { return buttonBitmap_; }

    // The text the current value is shown with.
    QString FormatValue(double value) const;
    // The number as shown, rounded to Decimals digits (2.7 with no decimals
    // shows and gives 3), for callers that act on what the user sees.
    double ShownValue() const;

    // Every text change, reformatting included.
    TNotifyEvent OnChange;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TContextPopupEvent OnContextPopup;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    // Setting Key to 0 drops the key, Enter included.
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

protected:
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

private:
    friend class TKXFloatEditButton;

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
    double savedValue_ = 0; // the number when savedText_ was taken
    bool savedOwnText_ = false;
    TColor textBackColor_ = clBtnFace;
    double minValue_ = 0.0;
    double stepValue_ = 0;
    bool enabled_ = true;
    TColor color_ = clWindow;
};

} // namespace kx
