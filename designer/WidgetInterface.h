#pragma once
#include <QSize>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <span>

namespace kx::designer {

/// What Designer and QUiLoader learn about one widget, and how it is made.
struct WidgetEntry {
    const char* className; ///< as forms name it, with its namespace
    const char* baseClass; ///< the Qt class Designer edits it as
    const char* header;    ///< installed, relative to the include folder
    const char* icon;      ///< resource path
    const char* toolTip;
    const char* whatsThis;
    QSize size;            ///< default geometry on a form
    /// Makes the widget; designing is set when Designer edits the form.
    QWidget* (*make)(QWidget* parent, bool designing);
};

/// Every widget the plugin offers, in widget-box order.
std::span<const WidgetEntry> WidgetEntries();

/// Gives the components' messages back to the default dialog when the
/// plugin installed its own hook (before the plugin is unloaded).
void ReleaseMessageHook();

/// One widget's face in Designer, described by its WidgetEntry.
class WidgetInterface : public QObject, public QDesignerCustomWidgetInterface
{
    Q_OBJECT
    Q_INTERFACES(QDesignerCustomWidgetInterface)
public:
    WidgetInterface(const WidgetEntry& entry, QObject* parent);

    QString name() const override;
    QString group() const override;
    QString toolTip() const override;
    QString whatsThis() const override;
    QString includeFile() const override;
    QIcon icon() const override;
    bool isContainer() const override { return false; }
    /// Never throws and never gives null: a widget that cannot be made is
    /// replaced by a label saying why.
    QWidget* createWidget(QWidget* parent) override;
    bool isInitialized() const override { return initialized_; }
    /// Designer calls it with its form editor; QUiLoader never does, so
    /// only widgets made inside Designer are in design mode.
    void initialize(QDesignerFormEditorInterface* core) override;
    QString domXml() const override;

private:
    const WidgetEntry& entry_;
    bool initialized_ = false;
    bool designing_ = false;
};

} // namespace kx::designer
