#include <QApplication>
#include <gtest/gtest.h>

#include "mediagraph/MediaFramework.h"

using namespace kx;

// Widgets need an application object; tests never need a sound card, and
// only the _xvfb ones a screen.
int main(int argc, char** argv)
{
    // Tests that need a real X server (names ending in _xvfb) are run by
    // scripts/test under Xvfb with KX_TEST_ON_DISPLAY set.
    if (!qEnvironmentVariableIsSet("KX_TEST_ON_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("GST_REGISTRY"))
        qputenv("GST_REGISTRY", KX_TEST_BINARY_DIR "/gst-registry.bin");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    InitMediaFramework();
    return RUN_ALL_TESTS();
}
