#pragma once
#include <QByteArray>
#include <QImage>
#include <QQuickView>
#include <memory>

namespace kx {

// A window that shows one QML item, `import KXAudio` resolved from the build
// tree, drawn by the software scene graph so that grabs work offscreen.
class QuickHarness
{
public:
    QuickHarness();
    // Creates the component's root object (its QML imports KXAudio and
    // QtQuick); an item is shown in the window at w × h. Null with the
    // errors printed when it does not load.
    QObject* Load(const QByteArray& qml, int w = 400, int h = 150);
    // What the window shows, in logical-size pixels times the ratio.
    QImage Grab();
    QQuickView& View() { return *view_; }

private:
    std::unique_ptr<QQuickView> view_;
    std::unique_ptr<QObject> root_;
};

} // namespace kx
