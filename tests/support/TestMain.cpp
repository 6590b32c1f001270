#include <QApplication>
#include <gtest/gtest.h>

#include "mediagraph/MediaFramework.h"

// Widgets need an application object; tests never need a screen or a sound card.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("GST_REGISTRY"))
        qputenv("GST_REGISTRY", KX_TEST_BINARY_DIR "/gst-registry.bin");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    InitMediaFramework();
    return RUN_ALL_TESTS();
}
