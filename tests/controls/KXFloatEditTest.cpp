#include <QFocusEvent>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <QStyle>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

#include "controls/FloatText.h"
#include "controls/KXFloatEdit.h"
#include "platform/Exception.h"
#include "tests/support/TestHelpers.h"
#include "platform/QtInput.h"

namespace kx {

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

class FloatEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(kUs);
        edit_.resize(120, 30);
    }
    void TearDown() override { QLocale::setDefault(saved_); }

    void TypeAndEnter(const QString& text)
    {
        edit_.clear();
        QTest::keyClicks(&edit_, text);
        QTest::keyClick(&edit_, Qt::Key_Return);
    }
    void TypeAndLeave(const QString& text, Qt::FocusReason reason = Qt::TabFocusReason)
    {
        edit_.clear();
        QTest::keyClicks(&edit_, text);
        QFocusEvent out(QEvent::FocusOut, reason);
        QCoreApplication::sendEvent(&edit_, &out);
    }
    void Mouse(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::KeyboardModifiers mods)
    {
        QMouseEvent e(type, QPointF(p), QPointF(p), button, type == QEvent::MouseButtonPress ? button : Qt::NoButton,
                      mods);
        QCoreApplication::sendEvent(edit_.ButtonImage(), &e);
    }
    void Click(QPoint p, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        Mouse(QEvent::MouseButtonPress, p, button, mods);
        Mouse(QEvent::MouseButtonRelease, p, button, mods);
    }
    int ButtonSize() const { return edit_.ButtonImage()->width(); }
    void ClickUp(Qt::KeyboardModifiers mods = {}) { Click(QPoint(1, 1), Qt::LeftButton, mods); }
    void ClickDown(Qt::KeyboardModifiers mods = {})
    {
        Click(QPoint(ButtonSize() - 2, ButtonSize() - 2), Qt::LeftButton, mods);
    }

    QLocale saved_;
    TKXFloatEdit edit_;
};

} // namespace

TEST(FloatText, ParsesPlainNumbersWhateverTheLocale)
{
    QLocale::setDefault(kGerman);
    EXPECT_EQ(ParseFloatText("  -12.25"), -12.25);
    EXPECT_EQ(ParseFloatText("+.5"), 0.5);
    EXPECT_EQ(ParseFloatText("5."), 5.0);
    EXPECT_EQ(ParseFloatText("1.5E+3"), 1500.0);
    for (const char* bad : {"", "   ", "1,5", "1.234,5", "0.5 ", "abc", "1e", "e5", ".", "-", "1.2.3", "0x10",
                            "inf", "nan", "1e400"})
        EXPECT_FALSE(ParseFloatText(bad).has_value()) << bad;
    QLocale::setDefault(QLocale::system());
}

TEST(FloatText, ValuesThatRoundToZeroShowNoSign)
{
    EXPECT_EQ(FormatFloat(-0.0, 2, false, QLocale::c()), "0.00");
    EXPECT_EQ(FormatFloat(-3.3e-98, 7, false, QLocale::c()), "0.0000000");
    EXPECT_EQ(FormatFloat(-0.004, 2, true, kGerman), "0,00");
    EXPECT_EQ(FormatFloat(-0.006, 2, false, QLocale::c()), "-0.01");
}

TEST(FloatText, StepsLandOnShortDecimalsAndNeverMoveTheWrongWay)
{
    double v = 0;
    for (int i = 0; i < 10; ++i)
        v = AddStep(v, 0.1);
    EXPECT_EQ(v, 1.0);
    for (int i = 0; i < 10; ++i)
        v = AddStep(v, -0.1);
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(AddStep(0.2, 0.1), 0.3);
    EXPECT_EQ(AddStep(-0.3, 0.1), -0.2);

    // Sixteen and more significant digits: the exact neighbour, not a
    // rounding to fifteen digits that lands on either side.
    EXPECT_EQ(AddStep(1234567890123456.0, 1), 1234567890123457.0);
    EXPECT_EQ(AddStep(1234567890123456.0, -1), 1234567890123455.0);
    EXPECT_EQ(AddStep(0.1234567890123456, 1e-16), 0.1234567890123457);
    const double big = 9007199254740992.0; // 2^53: odd integers above it do not exist
    EXPECT_GT(AddStep(big, 1), big);
    EXPECT_LT(AddStep(1e17, -1), 1e17);
    EXPECT_GT(AddStep(0.5, 1e-18), 0.5);
    EXPECT_LT(AddStep(0.5, -1e-18), 0.5);
    for (int k = 0; k < 2000; ++k) {
        const double value = 1234567890123456.0 + 7.0 * k + k / 8.0;
        for (double step : {1.0, 0.5, 0.1, 1e-3}) {
            EXPECT_GT(AddStep(value, step), value) << value << " + " << step;
            EXPECT_LT(AddStep(value, -step), value) << value << " - " << step;
        }
    }
    EXPECT_TRUE(std::isinf(AddStep(1.7e308, 1e308)));
}

TEST(FloatText, DrawsHalvesAndArrowsInTheirColours)
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(200, 200, 200));
    palette.setColor(QPalette::Dark, QColor(100, 100, 100));
    const int h = 40;
    const QPoint upper(5, 20), lower(30, 20), upArrow(10, 12), downArrow(30, 28);
    const QColor red(255, 0, 0), shadow(100, 100, 100);
    QImage image(h, h, QImage::Format_RGB32);

    DrawUpDownButton(image, false, false, true, clRed, palette);
    EXPECT_EQ(image.pixelColor(upper), red);
    EXPECT_EQ(image.pixelColor(lower), red);
    EXPECT_EQ(image.pixelColor(upArrow), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(downArrow), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(h / 2, h / 2 - 1), shadow) << "raised diagonal edge";

    DrawUpDownButton(image, true, true, true, clRed, palette);
    EXPECT_EQ(image.pixelColor(upper), red);
    EXPECT_EQ(image.pixelColor(lower), shadow);

    DrawUpDownButton(image, false, true, false, clBtnFace, palette);
    EXPECT_EQ(image.pixelColor(upper), shadow);
    EXPECT_EQ(image.pixelColor(lower), QColor(200, 200, 200));
    EXPECT_EQ(image.pixelColor(upArrow), ToQColor(kDisabledArrowColor));
    EXPECT_EQ(image.pixelColor(downArrow), ToQColor(kDisabledArrowColor));
}

TEST_F(FloatEditTest, TextSetterTakesNumbersWithinTheBounds)
{
    EXPECT_EQ(edit_.Text(), "0.0");
    edit_.SetDecimals(2);
    edit_.SetText(" .25");
    EXPECT_EQ(edit_.Float(), 0.25);
    EXPECT_EQ(edit_.Text(), "0.25");
    edit_.SetText("1.5");
    for (const char* bad : {"abc", "0,5", ""})
        EXPECT_EQ(RaisedMessage([&] { edit_.SetText(bad); }), "Value must be numerical") << bad;
    EXPECT_EQ(edit_.Float(), 0.25);
    EXPECT_EQ(edit_.Text(), "0.25");

    QLocale::setDefault(kGerman);
    edit_.SetText("0.75");
    EXPECT_EQ(edit_.Text(), "0,75");
}

TEST_F(FloatEditTest, FloatSetterRefusesWithoutClamping)
{
    int changes = 0;
    edit_.OnChange = [&](QObject*) { ++changes; };
    edit_.SetFloat(0.5);
    edit_.SetFloat(1.5);
    edit_.SetFloat(-0.1);
    edit_.SetFloat(std::nan(""));
    EXPECT_EQ(edit_.Float(), 0.5);
    EXPECT_EQ(edit_.Text(), "0.5");
    EXPECT_EQ(changes, 1);
    edit_.SetMaxValue(0.2); // a plain store: the value stays
    EXPECT_EQ(edit_.Float(), 0.5);
}

TEST_F(FloatEditTest, EnterTakesValidTextAndRestoresInvalidText)
{
    edit_.SetDecimals(2);
    TypeAndEnter(".7");
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(edit_.Text(), "0.70");
    TypeAndEnter("abc");
    EXPECT_EQ(edit_.Text(), "0.70");
    TypeAndEnter("5");
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(edit_.Text(), "5") << "out of range typed text stays";
}

TEST_F(FloatEditTest, LeavingTakesValidTextAsTyped)
{
    int exits = 0;
    edit_.OnExit = [&](QObject*) { ++exits; };
    TypeAndLeave(".7");
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(edit_.Text(), ".7");
    TypeAndLeave("nonsense");
    EXPECT_EQ(edit_.Text(), "0.7");
    TypeAndLeave("3");
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(edit_.Text(), "3");
    // Another window taking the focus is not leaving the control.
    TypeAndLeave("0.2", Qt::ActiveWindowFocusReason);
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(exits, 3);
}

TEST_F(FloatEditTest, KeyHandlersCanChangeOrDropKeys)
{
    // A comma typed by habit becomes the point; letters never arrive.
    edit_.OnKeyPress = [](QObject*, QChar& key) {
        if (key == QLatin1Char(','))
            key = QLatin1Char('.');
        else if (key.isLetter())
            key = QChar();
    };
    int clicks = 0;
    edit_.OnClick = [&](QObject*) { ++clicks; };
    edit_.OnKeyDown = [](QObject*, uint16_t& key, TShiftState shift) {
        if (key == VK_RETURN && shift.Contains(ssShift))
            key = 0;
    };
    edit_.clear();
    QTest::keyClicks(&edit_, "0x,y5");
    EXPECT_EQ(edit_.Text(), "0.5");
    QTest::keyClick(&edit_, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(edit_.Float(), 0.0) << "swallowed Enter";
    QTest::keyClick(&edit_, Qt::Key_Return);
    EXPECT_EQ(edit_.Float(), 0.5);
    QTest::mouseClick(&edit_, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(&edit_, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
}

TEST_F(FloatEditTest, GroupedTextIsShownButNotReadBack)
{
    edit_.SetMaxValue(1e6);
    edit_.SetFloat(1234.5);
    edit_.SetThousands(true);
    EXPECT_EQ(edit_.Text(), "1,234.5");
    QTest::keyClick(&edit_, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(edit_.Text(), "1,234.5");
    EXPECT_EQ(edit_.Float(), 1234.5);
    QLocale::setDefault(kGerman);
    edit_.SetDecimals(2);
    EXPECT_EQ(edit_.Text(), "1.234,50");
    edit_.SetThousands(false);
    EXPECT_EQ(edit_.Text(), "1234,50");
}

TEST_F(FloatEditTest, FreeTextModeKeepsAnyTextUntilSwitchedBack)
{
    edit_.SetFloat(0.5);
    edit_.SetTextBackColor(clYellow);
    edit_.SetAllowText(true);
    EXPECT_EQ(edit_.SavedText(), "0.5");
    EXPECT_EQ(edit_.Color(), clYellow);
    edit_.SetText("hello");
    EXPECT_EQ(edit_.Text(), "hello");
    TypeAndEnter("word"); // Enter still validates
    EXPECT_EQ(edit_.Text(), "0.5");

    edit_.SetText("words");
    edit_.SetAllowText(false);
    EXPECT_EQ(edit_.Text(), "0.5");
    EXPECT_EQ(edit_.Color(), clWindow);

    // Switched on over typed words: switching back reports, and leaves a numeric-looking control.
    edit_.clear();
    QTest::keyClicks(&edit_, "label");
    edit_.SetAllowText(true);
    EXPECT_EQ(RaisedMessage([&] { edit_.SetAllowText(false); }), "Value must be numerical");
    EXPECT_FALSE(edit_.AllowText());
    EXPECT_EQ(edit_.Color(), clWindow);
}

TEST_F(FloatEditTest, LeavingFreeTextRestoresTheNumberInAnyNotation)
{
    edit_.SetMaxValue(1e6);
    edit_.SetFloat(1234.5);
    edit_.SetThousands(true);
    edit_.SetAllowText(true);
    edit_.SetText("some words");
    edit_.SetAllowText(false);
    EXPECT_EQ(edit_.Text(), "1,234.5");
    EXPECT_EQ(edit_.Float(), 1234.5);

    QLocale::setDefault(kGerman);
    edit_.SetThousands(false);
    edit_.SetFloat(0.5);
    EXPECT_EQ(edit_.Text(), "0,5");
    edit_.SetAllowText(true);
    TypeAndEnter("0.25"); // a number taken while free
    EXPECT_EQ(edit_.Float(), 0.25);
    edit_.SetAllowText(false);
    EXPECT_FALSE(edit_.AllowText());
    EXPECT_EQ(edit_.Text(), "0,5");
    EXPECT_EQ(edit_.Float(), 0.5);

    // Plain typed text saved when switching on is still taken as typed.
    edit_.clear();
    QTest::keyClicks(&edit_, "0.75");
    edit_.SetAllowText(true);
    edit_.SetAllowText(false);
    EXPECT_EQ(edit_.Float(), 0.75);
    EXPECT_EQ(edit_.Text(), "0,8");
}

TEST_F(FloatEditTest, ShownValueIsTheNumberInTheText)
{
    edit_.SetMaxValue(10);
    edit_.SetDecimals(0);
    for (double v : {2.5, 2.7, 2.4, 0.5}) {
        edit_.SetFloat(v);
        EXPECT_EQ(edit_.ShownValue(), edit_.Text().toDouble()) << v;
    }
    edit_.SetDecimals(2);
    edit_.SetFloat(1.005);
    EXPECT_EQ(edit_.ShownValue(), edit_.Text().toDouble());
}

TEST_F(FloatEditTest, ButtonStepsLongNumbersByExactlyOneStep)
{
    edit_.SetUpDown(true);
    edit_.SetMaxValue(1e17);
    edit_.SetDecimals(0);
    edit_.SetFloat(1234567890123456.0);
    ClickDown();
    EXPECT_EQ(edit_.Float(), 1234567890123455.0);
    ClickUp();
    ClickUp();
    EXPECT_EQ(edit_.Float(), 1234567890123457.0);
    EXPECT_EQ(edit_.Text(), "1234567890123457");
}

TEST_F(FloatEditTest, SettersReportBadValuesAndKeepTheOldOnes)
{
    EXPECT_EQ(RaisedMessage([&] { edit_.SetDecimals(19); }), "Decimals must be between 0 and 18");
    EXPECT_EQ(RaisedMessage([&] { edit_.SetDecimals(-1); }), "Decimals must be between 0 and 18");
    EXPECT_EQ(edit_.Decimals(), 1);
    edit_.SetDecimals(18);
    EXPECT_EQ(edit_.Text(), "0.000000000000000000");
    EXPECT_EQ(RaisedMessage([&] { edit_.SetStepValue(-0.5); }), "Step value must be zero or positive");
    EXPECT_EQ(RaisedMessage([&] { edit_.SetStepValue(std::nan("")); }), "Step value must be zero or positive");
    EXPECT_EQ(edit_.StepValue(), 0.0);
    EXPECT_EQ(RaisedMessage([&] { edit_.SetHeight(9); }), "Height can range from 10 to 64");
    EXPECT_EQ(RaisedMessage([&] { edit_.SetHeight(65); }), "Height can range from 10 to 64");
    EXPECT_EQ(edit_.Height(), 30);
    edit_.SetHeight(64);
    EXPECT_EQ(edit_.Height(), 64);
}

TEST_F(FloatEditTest, UpDownButtonIsASquareInsideTheRightEdge)
{
    edit_.SetUpDown(true);
    ASSERT_NE(edit_.ButtonImage(), nullptr);
    const int frame = edit_.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &edit_);
    const int client = 30 - 2 * frame;
    EXPECT_EQ(edit_.ButtonImage()->geometry(), QRect(120 - frame - client, frame, client, client));
    EXPECT_EQ(edit_.ButtonBitmap().size(), QSize(client, client));

    edit_.resize(150, 40);
    QResizeEvent resize(QSize(150, 40), QSize(120, 30));
    QCoreApplication::sendEvent(&edit_, &resize);
    EXPECT_EQ(edit_.LastHeight(), 40 - 2 * frame);
    EXPECT_EQ(edit_.ButtonImage()->geometry(), QRect(150 - 40 + frame, frame, 40 - 2 * frame, 40 - 2 * frame));

    edit_.SetUpDown(false);
    EXPECT_EQ(edit_.ButtonImage(), nullptr);
}

TEST_F(FloatEditTest, ButtonStepsByOneUnitOfTheLastDigit)
{
    edit_.SetUpDown(true);
    ClickUp();
    EXPECT_EQ(edit_.Text(), "0.1");
    ClickDown();
    ClickDown(); // would go below the minimum
    EXPECT_EQ(edit_.Float(), 0.0);

    edit_.SetMaxValue(100);
    edit_.SetDecimals(0);
    ClickUp();
    ClickUp(Qt::ControlModifier);
    EXPECT_EQ(edit_.Float(), 2.0);
    edit_.SetDecimals(2);
    ClickUp();
    EXPECT_EQ(edit_.Float(), 2.01);
    ClickUp(Qt::ControlModifier);
    EXPECT_EQ(edit_.Text(), "3.01");
    edit_.SetStepValue(0.5);
    ClickDown(Qt::ControlModifier);
    EXPECT_EQ(edit_.Float(), 2.51);
    Click(QPoint(1, 1), Qt::RightButton); // pressed look only
    EXPECT_EQ(edit_.Float(), 2.51);

    // The diagonal belongs to the up half.
    edit_.SetStepValue(1);
    const int w = ButtonSize();
    Click(QPoint(w / 2, w - w / 2));
    EXPECT_EQ(edit_.Float(), 3.51);
    Click(QPoint(w / 2, w - w / 2 + 1));
    EXPECT_EQ(edit_.Float(), 2.51);
}

TEST_F(FloatEditTest, StepCrossingABoundIsRefusedButTextIsRewritten)
{
    edit_.SetUpDown(true);
    edit_.SetDecimals(2);
    edit_.SetStepValue(0.1);
    edit_.SetFloat(0.95);
    edit_.clear();
    ClickUp();
    EXPECT_EQ(edit_.Float(), 0.95);
    EXPECT_EQ(edit_.Text(), "0.95");

    // Ten steps of 0.1 reach the bound exactly despite binary fractions.
    edit_.SetFloat(0);
    for (int i = 0; i < 11; ++i)
        ClickUp();
    EXPECT_EQ(edit_.Float(), 1.0);
    for (int i = 0; i < 11; ++i)
        ClickDown();
    EXPECT_EQ(edit_.Float(), 0.0);
}

TEST_F(FloatEditTest, ButtonShowsPressedAndDisabledLooks)
{
    QPalette palette = edit_.palette();
    palette.setColor(QPalette::Dark, QColor(10, 20, 30));
    edit_.setPalette(palette);
    edit_.SetButtonColor(clLime);
    edit_.SetUpDown(true);
    const int w = ButtonSize();
    const QPoint lower(w - 3, w / 2), arrow(2 * w / 8, 2 * w / 8 + 1);
    Mouse(QEvent::MouseButtonPress, QPoint(w - 2, w - 2), Qt::LeftButton, {});
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(lower), QColor(10, 20, 30));
    Mouse(QEvent::MouseButtonRelease, QPoint(w - 2, w - 2), Qt::LeftButton, {});
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(lower), QColor(0, 255, 0));

    edit_.SetEnabled(false);
    EXPECT_FALSE(edit_.isEnabled());
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(arrow), ToQColor(kDisabledArrowColor));
    edit_.SetEnabled(true);
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(arrow), QColor(Qt::black));
}

} // namespace kx
