// What users without a mouse or without sight meet: named transport buttons
// and a wave viewer reached with Tab.
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>

#include "playback/KXPlayerControls.h"
#include "wavviewer/WavViewer.h"

namespace kx {

TEST(KeyboardAndScreenReader, everyTransportButtonIsNamedForTooltipsAndScreenReaders)
{
    TKXPlayerControls bar;
    QSet<QString> names;
    for (int i = 0; i < kButtonCount; ++i) {
        QAbstractButton* b = bar.Button(static_cast<TPLBtnType>(i));
        ASSERT_NE(b, nullptr);
        EXPECT_FALSE(b->toolTip().isEmpty()) << i;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), b->toolTip()) << i;
        names.insert(b->toolTip());
    }
    EXPECT_EQ(names.size(), kButtonCount) << "two buttons share a name";
    EXPECT_EQ(bar.Button(btPlay)->toolTip(), QStringLiteral("Play"));
}

TEST(KeyboardAndScreenReader, tabMovesTheFocusIntoTheWaveViewer)
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* viewer = new TWavViewer(&window);
    viewer->move(0, 40);
    window.resize(400, 300);
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_TRUE(viewer->hasFocus());
}

} // namespace kx
