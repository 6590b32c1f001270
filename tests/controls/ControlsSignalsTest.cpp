// The controls' Qt face: signals beside the handlers and properties whose
// refused writes never throw.
#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/HZDropFiles.h"
#include "controls/KXFloatEdit.h"
#include "platform/Exception.h"

namespace kx {

TEST(FloatEditSignals, eventsAreSignalsAfterTheirHandlersAndKeysCarryTheHandlersVerdict)
{
    TKXFloatEdit edit;
    edit.resize(120, 30);
    QStringList order;
    edit.OnKeyDown = [&](QObject*, uint16_t& key, TShiftState) {
        order.append("handler");
        if (key == 'X')
            key = 0;  // dropped
    };
    QSignalSpy keyDown(&edit, &TKXFloatEdit::keyDown);
    QSignalSpy keyPress(&edit, &TKXFloatEdit::keyPress);
    QSignalSpy keyUp(&edit, &TKXFloatEdit::keyUp);
    QObject::connect(&edit, &TKXFloatEdit::keyDown, [&] { order.append("signal"); });
    QTest::keyClick(&edit, Qt::Key_5, Qt::ShiftModifier);
    // Shift itself, then the digit.
    ASSERT_EQ(keyDown.count(), 2);
    EXPECT_EQ(keyDown[1][0].toInt(), '5');
    EXPECT_TRUE(keyDown[1][1].value<TShiftState>().Contains(ssShift));
    EXPECT_EQ(order, (QStringList{"handler", "signal", "handler", "signal"}));
    ASSERT_EQ(keyPress.count(), 1);
    EXPECT_EQ(keyPress[0][0].value<QChar>(), QChar('5'));
    EXPECT_EQ(keyUp.count(), 2);
    QTest::keyClick(&edit, Qt::Key_X);
    ASSERT_EQ(keyDown.count(), 3);
    EXPECT_EQ(keyDown[2][0].toInt(), 0);  // the handler dropped it
    EXPECT_EQ(keyPress.count(), 1);

    QSignalSpy down(&edit, &TKXFloatEdit::mouseDown);
    QSignalSpy up(&edit, &TKXFloatEdit::mouseUp);
    QSignalSpy click(&edit, &TKXFloatEdit::click);
    QSignalSpy dbl(&edit, &TKXFloatEdit::dblClick);
    QTest::mouseClick(&edit, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 12));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down[0][0].value<TMouseButton>(), mbLeft);
    EXPECT_TRUE(down[0][1].value<TShiftState>().Contains(ssCtrl));
    EXPECT_EQ(down[0][2].toInt(), 10);
    EXPECT_EQ(down[0][3].toInt(), 12);
    EXPECT_EQ(up.count(), 1);
    EXPECT_EQ(click.count(), 1);
    QTest::mouseDClick(&edit, Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_EQ(dbl.count(), 1);
}

TEST(FloatEditSignals, theNumberNotifiesWhenTheUserChangesIt)
{
    TKXFloatEdit edit;
    edit.SetMaxValue(100);
    QSignalSpy changed(&edit, &TKXFloatEdit::floatChanged);
    QSignalSpy change(&edit, &TKXFloatEdit::change);
    edit.clear();
    QTest::keyClicks(&edit, "42.5");
    EXPECT_GE(change.count(), 4);
    EXPECT_EQ(changed.count(), 0);  // not taken before Enter
    QTest::keyClick(&edit, Qt::Key_Return);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_DOUBLE_EQ(changed[0][0].toDouble(), 42.5);
    EXPECT_DOUBLE_EQ(edit.property("float").toDouble(), 42.5);
    // Out of the bounds: ignored, no notification.
    edit.setProperty("float", 200.0);
    EXPECT_EQ(changed.count(), 1);
    edit.setProperty("float", 7.0);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(edit.text(), "7.0");
}

TEST(FloatEditSignals, propertiesTakeTheEditsRulesAndReportRefusalsWithoutThrowing)
{
    TKXFloatEdit edit;
    QSignalSpy error(&edit, &TKXFloatEdit::error);
    // Base-class names carry this edit's rules.
    EXPECT_THROW(edit.SetText("abc"), Exception);
    EXPECT_NO_THROW(edit.setProperty("text", "abc"));
    EXPECT_EQ(edit.property("text").toString(), "0.0");
    ASSERT_EQ(error.count(), 1);
    EXPECT_EQ(error[0][0].toString(), "Value must be numerical");
    EXPECT_TRUE(edit.setProperty("text", "0.5"));
    EXPECT_DOUBLE_EQ(edit.Float(), 0.5);
    EXPECT_NO_THROW(edit.setProperty("height", 80));
    EXPECT_EQ(error.last()[0].toString(), "Height can range from 10 to 64");
    EXPECT_TRUE(edit.setProperty("height", 40));
    EXPECT_EQ(edit.height(), 40);
    EXPECT_NO_THROW(edit.setProperty("decimals", 19));
    EXPECT_EQ(edit.Decimals(), 1);
    EXPECT_NO_THROW(edit.setProperty("stepValue", -1.0));
    EXPECT_DOUBLE_EQ(edit.StepValue(), 0);
    EXPECT_EQ(error.count(), 4);
    edit.setProperty("enabled", false);
    EXPECT_FALSE(edit.Enabled());
    EXPECT_FALSE(edit.isEnabled());

    // Colours: QColor in, TColor kept; system colours resolved when read.
    edit.setProperty("buttonColor", QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(edit.ButtonColor(), 0x563412);
    EXPECT_EQ(edit.property("buttonColor").value<QColor>(), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(edit.Color(), clWindow);
    const QColor window = edit.property("color").value<QColor>();
    EXPECT_TRUE(window.isValid());
    EXPECT_EQ(window, ToQColor(clWindow, edit.palette()));
    edit.SetColor(QColor(Qt::red));
    EXPECT_EQ(edit.Color(), clRed);
}

TEST(DropFilesSignals, aDropRaisesItsSignalsAndItsNamesAreProperties)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a.wav"), b = dir.filePath("b.txt");
    for (const QString& f : {a, b}) {
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QWidget form;
    THZFormDropFiles drop(&form);
    drop.SetOnFileFilter([](QObject*, const QString& name, bool, bool& accept) { accept = !name.endsWith(".txt"); });
    QStringList order;
    drop.SetOnDropFiles([&](QObject*) { order.append("handler"); });
    QObject::connect(&drop, &THZSubClassedDropFiles::dropFiles, [&] { order.append("signal"); });
    QSignalSpy before(&drop, &THZSubClassedDropFiles::beforeDrop);
    QSignalSpy filter(&drop, &THZSubClassedDropFiles::fileFilter);
    QSignalSpy dropped(&drop, &THZSubClassedDropFiles::dropFiles);
    THZDropFilesEvent event({a, b}, QPoint(3, 4));
    QCoreApplication::sendEvent(&form, &event);
    EXPECT_EQ(before.count(), 1);
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(order, (QStringList{"handler", "signal"}));
    ASSERT_EQ(filter.count(), 2);
    EXPECT_EQ(filter[0], (QVariantList{a, false, true}));
    EXPECT_EQ(filter[1], (QVariantList{b, false, false}));
    EXPECT_EQ(drop.property("files").toStringList(), QStringList{a});
    EXPECT_EQ(drop.property("fileName").toString(), a);
    EXPECT_EQ(drop.property("count").toInt(), 1);
    EXPECT_EQ(drop.property("dropPoint").toPoint(), QPoint(3, 4));

    // Options as bits: files only, then folders and files with recursion.
    drop.setProperty("options", 2);
    EXPECT_EQ(drop.Options(), THZDropFilesOptions{dfoIncFiles});
    drop.setProperty("options", 7);
    EXPECT_EQ(drop.Options(), (THZDropFilesOptions{dfoIncFolders, dfoIncFiles, dfoRecurseFolders}));
    EXPECT_EQ(drop.property("options").toInt(), 7);
}

} // namespace kx
