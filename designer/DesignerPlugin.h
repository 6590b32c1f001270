#pragma once
#include <QList>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

namespace kx::designer {

/// The plugin Designer and QUiLoader load: one interface per widget.
class DesignerPlugin : public QObject, public QDesignerCustomWidgetCollectionInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
    Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)
public:
    explicit DesignerPlugin(QObject* parent = nullptr);
    ~DesignerPlugin() override;
    QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

private:
    QList<QDesignerCustomWidgetInterface*> widgets_;
};

} // namespace kx::designer
