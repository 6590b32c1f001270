#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "TestVideoPlayer.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

// Share of pixels in the image that are not black.
double LitShare(const QImage& image)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            lit += qGray(image.pixel(x, y)) > 24;
    }
    return image.isNull() ? 0.0 : double(lit) / (image.width() * image.height());
}

QImage GrabCentre(QWidget* w, int size)
{
    const QPoint c = w->mapToGlobal(w->rect().center());
    return QGuiApplication::primaryScreen()->grabWindow(0, c.x() - size / 2, c.y() - size / 2, size, size).toImage();
}

} // namespace

// A video file plays into the panel's own X window through the overlay.
TEST(VideoOverlay, VideoAppearsInThePanelAndInFullScreen)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display";
    GstElement* sink = gst_element_factory_make("ximagesink", nullptr);
    if (!sink)
        GTEST_SKIP() << "no X video sink (gstreamer1.0-x)";

    QTemporaryDir dir;
    const QString video = dir.filePath("clip.avi");
    ASSERT_TRUE(TestMedia::EncodeVideoOnly(video, 1.0));

    TestVideoPlayer panel;
    QStringList texts;
    panel.OnDebugText = [&](QObject*, const QString& t) { texts << t; };
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const QImage before = GrabCentre(&panel, 40);
    EXPECT_LT(LitShare(before), 0.05); // an empty black panel

    ASSERT_TRUE(panel.Load(video, sink, 1));
    texts.clear();
    panel.Attach();
    EXPECT_EQ(texts, QStringList{"Connect to display"});
    // The prerolled frame is drawn into the panel's window.
    EXPECT_TRUE(QTest::qWaitFor([&] { return LitShare(GrabCentre(&panel, 40)) > 0.9; }, 5000));

    panel.SetFullScreenMode(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.FullScreenForm()));
    panel.Play();
    EXPECT_TRUE(QTest::qWaitFor([&] { return LitShare(GrabCentre(panel.FullScreenForm(), 40)) > 0.9; }, 5000));
    QTest::keyClick(panel.FullScreenForm(), Qt::Key_Escape);
    EXPECT_FALSE(panel.FullScreenMode());
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.completed; }, 10000));
    EXPECT_EQ(panel.State(), psStop);
}

} // namespace kx
