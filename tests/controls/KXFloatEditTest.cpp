#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QStyle>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "controls/FloatText.h"
#include "controls/KXFloatEdit.h"
#include "platform/Exception.h"
#include "platform/QtInput.h"

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

template <typename F>
QString MessageOf(F&& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

class FloatEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved_ = QLocale();
        QLocale::setDefault(kUs);
        edit_.resize(120, 30);
    }
    void TearDown() override { QLocale::setDefault(saved_); }

    void PressEnter() { QTest::keyClick(&edit_, Qt::Key_Return); }
    void Type(const QString& text)
    {
        edit_.clear();
        QTest::keyClicks(&edit_, text);
    }
    void Leave(Qt::FocusReason reason = Qt::TabFocusReason)
    {
        QFocusEvent out(QEvent::FocusOut, reason);
        QCoreApplication::sendEvent(&edit_, &out);
    }
    void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        QMouseEvent e(QEvent::MouseButtonPress, QPointF(x, y), QPointF(x, y), button, button, mods);
        QCoreApplication::sendEvent(edit_.ButtonImage(), &e);
    }
    void Release(int x, int y, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        QMouseEvent e(QEvent::MouseButtonRelease, QPointF(x, y), QPointF(x, y), button, Qt::NoButton, mods);
        QCoreApplication::sendEvent(edit_.ButtonImage(), &e);
    }
    void Click(int x, int y, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        Press(x, y, button, mods);
        Release(x, y, button, mods);
    }
    int ButtonSize() const { return edit_.ButtonImage()->width(); }
    void ClickUp(Qt::KeyboardModifiers mods = {}) { Click(1, 1, Qt::LeftButton, mods); }
    void ClickDown(Qt::KeyboardModifiers mods = {}) { Click(ButtonSize() - 2, ButtonSize() - 2, Qt::LeftButton, mods); }

    QLocale saved_;
    TKXFloatEdit edit_;
};

} // namespace

TEST(FloatText, ParsesPlainNumbersOnly)
{
    EXPECT_EQ(ParseFloatText("0.5"), 0.5);
    EXPECT_EQ(ParseFloatText("  -12.25"), -12.25);
    EXPECT_EQ(ParseFloatText("+.5"), 0.5);
    EXPECT_EQ(ParseFloatText("5."), 5.0);
    EXPECT_EQ(ParseFloatText("1.5E+3"), 1500.0);
    EXPECT_EQ(ParseFloatText("25e-1"), 2.5);
    for (const char* bad : {"", "   ", "1,5", "1,234.5", "0.5 ", "abc", "1e", "e5", ".", "-", "1.2.3", "0x10",
                            "inf", "nan", "1e400", "١٢"})
        EXPECT_FALSE(ParseFloatText(QString::fromUtf8(bad)).has_value()) << bad;
}

TEST(FloatText, FormatsWithTheLocaleSeparators)
{
    EXPECT_EQ(FormatFloat(0, 1, false, kUs), "0.0");
    EXPECT_EQ(FormatFloat(-0.0, 1, false, kUs), "0.0");
    EXPECT_EQ(FormatFloat(1234.56, 2, false, kUs), "1234.56");
    EXPECT_EQ(FormatFloat(1234.56, 2, true, kUs), "1,234.56");
    EXPECT_EQ(FormatFloat(1234.56, 2, true, kGerman), "1.234,56");
    EXPECT_EQ(FormatFloat(1234.56, 2, false, kGerman), "1234,56");
    EXPECT_EQ(FormatFloat(1234.4, 0, true, kUs), "1,234");
    EXPECT_EQ(FormatFloat(0.5, 18, false, kUs), "0.500000000000000000");
}

TEST(FloatText, StepsAndHalves)
{
    EXPECT_DOUBLE_EQ(ButtonStep(0, false, 1), 0.1);
    EXPECT_DOUBLE_EQ(ButtonStep(0, false, 0), 1.0);
    EXPECT_DOUBLE_EQ(ButtonStep(0, true, 2), 1.0);
    EXPECT_DOUBLE_EQ(ButtonStep(0.25, true, 2), 0.25);
    // Binary noise of repeated steps does not keep the value off a bound.
    EXPECT_EQ(AddStep(0.2, 0.1), 0.3);
    EXPECT_EQ(AddStep(0.3, -0.1), 0.2);
    EXPECT_FALSE(InDownHalf(10, 10, 20));
    EXPECT_TRUE(InDownHalf(11, 10, 20));
}

TEST(FloatText, DrawsHalvesAndArrowsInTheirColours)
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(200, 200, 200));
    palette.setColor(QPalette::Dark, QColor(100, 100, 100));
    palette.setColor(QPalette::Light, QColor(255, 255, 255));
    const int h = 40;
    const QPoint upperInside(5, 20), lowerInside(30, 20), upArrow(10, 12), downArrow(30, 28);
    QImage image(h, h, QImage::Format_RGB32);
    const QColor red(255, 0, 0), shadow(100, 100, 100);

    DrawUpDownButton(image, false, false, true, clRed, palette);
    EXPECT_EQ(image.pixelColor(upperInside), red);
    EXPECT_EQ(image.pixelColor(lowerInside), red);
    EXPECT_EQ(image.pixelColor(upArrow), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(downArrow), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(h / 2, h / 2 - 1), shadow) << "raised diagonal edge";

    DrawUpDownButton(image, true, true, true, clRed, palette);
    EXPECT_EQ(image.pixelColor(upperInside), red);
    EXPECT_EQ(image.pixelColor(lowerInside), shadow);

    DrawUpDownButton(image, false, true, false, clBtnFace, palette);
    EXPECT_EQ(image.pixelColor(upperInside), shadow);
    EXPECT_EQ(image.pixelColor(lowerInside), QColor(200, 200, 200));
    EXPECT_EQ(image.pixelColor(upArrow), ToQColor(kDisabledArrowColor));
    EXPECT_EQ(image.pixelColor(downArrow), ToQColor(kDisabledArrowColor));

    QImage empty;
    DrawUpDownButton(empty, false, false, true, clRed, palette); // nothing to draw, no failure
}

TEST_F(FloatEditTest, StartsAtZeroWithOneDecimalInUnitRange)
{
    EXPECT_EQ(edit_.Text(), "0.0");
    EXPECT_EQ(edit_.Float(), 0.0);
    EXPECT_EQ(edit_.MinValue(), 0.0);
    EXPECT_EQ(edit_.MaxValue(), 1.0);
    EXPECT_EQ(edit_.Decimals(), 1);
    EXPECT_EQ(edit_.ButtonImage(), nullptr);
    EXPECT_EQ(edit_.Color(), clWindow);

    QLocale::setDefault(kGerman);
    TKXFloatEdit german;
    EXPECT_EQ(german.Text(), "0,0");
}

TEST_F(FloatEditTest, TextSetterParsesAndRefusesOutOfRange)
{
    edit_.SetDecimals(2);
    edit_.SetText(" .25");
    EXPECT_EQ(edit_.Float(), 0.25);
    EXPECT_EQ(edit_.Text(), "0.25");

    edit_.SetText("1.5");
    EXPECT_EQ(edit_.Float(), 0.25);
    EXPECT_EQ(edit_.Text(), "0.25");

    for (const char* bad : {"abc", "0,5", "0.5x", ""}) {
        EXPECT_EQ(MessageOf([&] { edit_.SetText(bad); }), "Value must be numerical") << bad;
        EXPECT_EQ(edit_.Float(), 0.25);
        EXPECT_EQ(edit_.Text(), "0.25");
    }

    // Parsing ignores the locale: a German user still types a point.
    QLocale::setDefault(kGerman);
    edit_.SetText("0.75");
    EXPECT_EQ(edit_.Float(), 0.75);
    EXPECT_EQ(edit_.Text(), "0,75");
    EXPECT_EQ(MessageOf([&] { edit_.SetText("0,5"); }), "Value must be numerical");
}

TEST_F(FloatEditTest, FloatSetterRefusesOutOfRangeWithoutClamping)
{
    int changes = 0;
    edit_.OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &edit_);
        ++changes;
    };
    edit_.SetFloat(0.5);
    EXPECT_EQ(edit_.Text(), "0.5");
    EXPECT_EQ(changes, 1);
    edit_.SetFloat(1.5);
    edit_.SetFloat(-0.1);
    edit_.SetFloat(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(edit_.Float(), 0.5);
    EXPECT_EQ(changes, 1);

    // Bounds are plain stores: narrowing them leaves the value alone.
    edit_.SetMaxValue(0.2);
    EXPECT_EQ(edit_.Float(), 0.5);
    edit_.SetFloat(0.2);
    EXPECT_EQ(edit_.Float(), 0.2);
}

TEST_F(FloatEditTest, EnterTakesValidTextAndRestoresInvalidText)
{
    edit_.SetDecimals(2);
    Type(".7");
    PressEnter();
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(edit_.Text(), "0.70");

    Type("abc");
    PressEnter();
    EXPECT_EQ(edit_.Text(), "0.70");

    Type("5");
    PressEnter();
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(edit_.Text(), "5") << "out of range typed text stays";

    Type("0.1");
    QTest::keyClick(&edit_, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(edit_.Float(), 0.1);
}

TEST_F(FloatEditTest, KeyDownHandlerCanSwallowEnter)
{
    std::vector<uint16_t> keys;
    edit_.OnKeyDown = [&](QObject*, uint16_t& key, TShiftState) {
        keys.push_back(key);
        if (key == VK_RETURN)
            key = 0;
    };
    Type("0.4");
    PressEnter();
    EXPECT_EQ(edit_.Float(), 0.0);
    EXPECT_EQ(edit_.Text(), "0.4");
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.back(), VK_RETURN);
}

TEST_F(FloatEditTest, LeavingTakesValidTextAsTyped)
{
    int exits = 0;
    edit_.OnExit = [&](QObject*) { ++exits; };
    Type(".7");
    Leave();
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(edit_.Text(), ".7");
    EXPECT_EQ(exits, 1);

    Type("nonsense");
    Leave();
    EXPECT_EQ(edit_.Text(), "0.7");

    Type("3");
    Leave();
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(edit_.Text(), "3");

    // Another window taking the focus is not leaving the control.
    Type("0.2");
    Leave(Qt::ActiveWindowFocusReason);
    EXPECT_EQ(edit_.Float(), 0.7);
    EXPECT_EQ(exits, 3);
}

TEST_F(FloatEditTest, ThousandsTextIsShownButNotReadBack)
{
    edit_.SetMaxValue(1e6);
    edit_.SetFloat(1234.5);
    EXPECT_EQ(edit_.Text(), "1234.5");
    edit_.SetThousands(true);
    EXPECT_EQ(edit_.Text(), "1,234.5");
    PressEnter();
    EXPECT_EQ(edit_.Text(), "1,234.5");
    EXPECT_EQ(edit_.Float(), 1234.5);
    Leave();
    EXPECT_EQ(edit_.Float(), 1234.5);
    edit_.SetThousands(false);
    EXPECT_EQ(edit_.Text(), "1234.5");
}

TEST_F(FloatEditTest, FreeTextModeKeepsAnyTextAndRestoresTheNumber)
{
    edit_.SetFloat(0.5);
    edit_.SetTextBackColor(clYellow);
    edit_.SetAllowText(true);
    EXPECT_EQ(edit_.SavedText(), "0.5");
    EXPECT_EQ(edit_.Color(), clYellow);
    edit_.SetText("hello");
    EXPECT_EQ(edit_.Text(), "hello");
    edit_.SetTextBackColor(clAqua);
    EXPECT_EQ(edit_.Color(), clAqua);

    // Enter still validates.
    PressEnter();
    EXPECT_EQ(edit_.Text(), "0.5");

    edit_.SetText("words");
    edit_.SetAllowText(false);
    EXPECT_EQ(edit_.Text(), "0.5");
    EXPECT_EQ(edit_.Color(), clWindow);
    EXPECT_EQ(MessageOf([&] { edit_.SetText("words"); }), "Value must be numerical");
}

TEST_F(FloatEditTest, LeavingFreeTextModeWithSavedWordsReports)
{
    Type("label"); // typed, not yet validated
    edit_.SetAllowText(true);
    EXPECT_EQ(edit_.SavedText(), "label");
    EXPECT_EQ(MessageOf([&] { edit_.SetAllowText(false); }), "Value must be numerical");
    EXPECT_FALSE(edit_.AllowText());
    EXPECT_EQ(edit_.Color(), clWindow);
}

TEST_F(FloatEditTest, SettersReportBadValuesAndKeepTheOldOnes)
{
    EXPECT_EQ(MessageOf([&] { edit_.SetDecimals(19); }), "Decimals must be between 0 and 18");
    EXPECT_EQ(MessageOf([&] { edit_.SetDecimals(-1); }), "Decimals must be between 0 and 18");
    EXPECT_EQ(edit_.Decimals(), 1);
    edit_.SetDecimals(18);
    EXPECT_EQ(edit_.Text(), "0.000000000000000000");

    EXPECT_EQ(MessageOf([&] { edit_.SetStepValue(-0.5); }), "Step value must be zero or positive");
    EXPECT_EQ(MessageOf([&] { edit_.SetStepValue(std::nan("")); }), "Step value must be zero or positive");
    EXPECT_EQ(edit_.StepValue(), 0.0);

    EXPECT_EQ(MessageOf([&] { edit_.SetHeight(9); }), "Height can range from 10 to 64");
    EXPECT_EQ(MessageOf([&] { edit_.SetHeight(65); }), "Height can range from 10 to 64");
    EXPECT_EQ(edit_.Height(), 30);
    edit_.SetHeight(64);
    EXPECT_EQ(edit_.Height(), 64);
    edit_.SetHeight(10);
    EXPECT_EQ(edit_.Height(), 10);
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
    EXPECT_EQ(edit_.ButtonImage()->geometry().right(), 150 - frame - 1);
    EXPECT_EQ(edit_.ButtonImage()->width(), 40 - 2 * frame);

    edit_.SetUpDown(false);
    EXPECT_EQ(edit_.ButtonImage(), nullptr);
    EXPECT_TRUE(edit_.ButtonBitmap().isNull());
}

TEST_F(FloatEditTest, ButtonStepsByOneUnitOfTheLastDigit)
{
    edit_.SetUpDown(true);
    ClickUp();
    EXPECT_EQ(edit_.Float(), 0.1);
    EXPECT_EQ(edit_.Text(), "0.1");
    ClickDown();
    EXPECT_EQ(edit_.Float(), 0.0);
    ClickDown(); // would go below the minimum
    EXPECT_EQ(edit_.Float(), 0.0);

    edit_.SetMaxValue(10);
    edit_.SetDecimals(0);
    ClickUp();
    EXPECT_EQ(edit_.Float(), 1.0);
    ClickUp(Qt::ControlModifier);
    EXPECT_EQ(edit_.Float(), 2.0);

    edit_.SetDecimals(2);
    ClickUp();
    EXPECT_EQ(edit_.Float(), 2.01);
    ClickUp(Qt::ControlModifier);
    EXPECT_EQ(edit_.Float(), 3.01);
    EXPECT_EQ(edit_.Text(), "3.01");

    edit_.SetStepValue(0.5);
    ClickDown(Qt::ControlModifier);
    EXPECT_EQ(edit_.Float(), 2.51);

    // Other buttons show the pressed look but do not step.
    Click(1, 1, Qt::RightButton);
    EXPECT_EQ(edit_.Float(), 2.51);
}

TEST_F(FloatEditTest, DiagonalBelongsToTheUpHalf)
{
    edit_.SetMaxValue(100);
    edit_.SetDecimals(0);
    edit_.SetFloat(50);
    edit_.SetUpDown(true);
    const int w = ButtonSize();
    Click(w / 2, w - w / 2);
    EXPECT_EQ(edit_.Float(), 51.0);
    Click(w / 2, w - w / 2 + 1);
    EXPECT_EQ(edit_.Float(), 50.0);
}

TEST_F(FloatEditTest, StepCrossingABoundIsRefusedButTextIsRewritten)
{
    edit_.SetUpDown(true);
    edit_.SetDecimals(2);
    edit_.SetStepValue(0.1);
    edit_.SetFloat(0.95);
    Type("typed");
    ClickUp();
    EXPECT_EQ(edit_.Float(), 0.95);
    EXPECT_EQ(edit_.Text(), "0.95");

    // Ten steps of 0.1 reach the bound exactly; the eleventh is refused.
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
    ASSERT_GE(w, 16);
    const QPoint lowerInside(w - 3, w / 2), arrow(2 * w / 8, 2 * w / 8 + 1);

    Press(w - 2, w - 2);
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(lowerInside), QColor(10, 20, 30));
    Release(w - 2, w - 2);
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(lowerInside), QColor(0, 255, 0));
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(arrow), QColor(Qt::black));

    edit_.SetEnabled(false);
    ASSERT_NE(edit_.ButtonImage(), nullptr);
    EXPECT_FALSE(edit_.isEnabled());
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(arrow), ToQColor(kDisabledArrowColor));
    edit_.SetEnabled(true);
    EXPECT_EQ(edit_.ButtonBitmap().pixelColor(arrow), QColor(Qt::black));
}
