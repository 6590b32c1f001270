#include "QuickTestSupport.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QTest>
#include <gtest/gtest.h>

namespace kx {

QuickHarness::QuickHarness()
{
    // Before the first window: only the software renderer grabs offscreen.
    static const bool software = [] {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        return true;
    }();
    Q_UNUSED(software);
    view_ = std::make_unique<QQuickView>();
    view_->engine()->addImportPath(QStringLiteral(KX_QML_IMPORT_DIR));
}

QObject* QuickHarness::Load(const QByteArray& qml, int w, int h)
{
    QQmlComponent component(view_->engine());
    component.setData(qml, QUrl(QStringLiteral("file:///test.qml")));
    root_.reset(component.create());
    if (!root_) {
        ADD_FAILURE() << component.errorString().toStdString();
        return nullptr;
    }
    if (auto* item = qobject_cast<QQuickItem*>(root_.get())) {
        view_->resize(w, h);
        item->setSize(QSizeF(w, h));
        item->setParentItem(view_->contentItem());
        view_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    }
    return root_.get();
}

QImage QuickHarness::Grab()
{
    return view_->grabWindow();
}

} // namespace kx
