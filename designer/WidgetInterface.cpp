#include "WidgetInterface.h"

#include <QIcon>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <exception>

#include "platform/Exception.h"
#include "platform/widgets/MessageBox.h"

namespace kx::designer {

namespace {

Q_LOGGING_CATEGORY(lcDesigner, "kx.designer", QtWarningMsg)

// Whether the message hook is this plugin's: its code must not outlive the plugin.
bool ownHook = false;

// Inside Designer a component's message must not start a nested event loop
// in the middle of a property write: it is shown without blocking.
void UseNonBlockingMessages()
{
    static bool tried = false;
    if (tried)
        return;
    tried = true;
    MessageBoxHook previous = SetMessageBoxHook([](QWidget* owner, const QString& text) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("KX Audio"), text, QMessageBox::Ok, owner);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    // A host that installed its own hook keeps it.
    if (previous)
        SetMessageBoxHook(std::move(previous));
    else
        ownHook = true;
}

} // namespace

void ReleaseMessageHook()
{
    if (!ownHook)
        return;
    ownHook = false;
    SetMessageBoxHook({});
}

WidgetInterface::WidgetInterface(const WidgetEntry& entry, QObject* parent) : QObject(parent), entry_(entry) {}

QString WidgetInterface::name() const
{
    return QString::fromLatin1(entry_.className);
}

QString WidgetInterface::group() const
{
    return QStringLiteral("KX Audio");
}

QString WidgetInterface::toolTip() const
{
    return QString::fromUtf8(entry_.toolTip);
}

QString WidgetInterface::whatsThis() const
{
    return QString::fromUtf8(entry_.whatsThis);
}

QString WidgetInterface::includeFile() const
{
    // Designer reads the angle brackets as a global include.
    return QStringLiteral("<%1>").arg(QString::fromLatin1(entry_.header));
}

QIcon WidgetInterface::icon() const
{
    return QIcon(QString::fromLatin1(entry_.icon));
}

QWidget* WidgetInterface::createWidget(QWidget* parent)
{
    QString why;
    try {
        if (QWidget* widget = entry_.make(parent, designing_))
            return widget;
        why = QStringLiteral("not available");
    } catch (const Exception& e) {
        why = e.Message();
    } catch (const std::exception& e) {
        why = QString::fromUtf8(e.what());
    }
    qCWarning(lcDesigner).noquote() << name() << "cannot be made:" << why;
    auto* label = new QLabel(QStringLiteral("%1: %2").arg(name(), why), parent);
    label->setWordWrap(true);
    label->setFrameShape(QFrame::Box);
    return label;
}

void WidgetInterface::initialize(QDesignerFormEditorInterface* core)
{
    initialized_ = true;
    if (!core || designing_)
        return;
    designing_ = true;
    UseNonBlockingMessages();
}

QString WidgetInterface::domXml() const
{
    const QString cls = name();
    // The object name Designer proposes: the class without its namespace
    // and its T or TKX prefix, first letter lowered (audioPeakViewer).
    QString object = cls.section(QStringLiteral("::"), -1);
    for (const char* prefix : {"TKX", "T"}) {
        if (object.startsWith(QLatin1String(prefix))) {
            object.remove(0, int(qstrlen(prefix)));
            break;
        }
    }
    object[0] = object[0].toLower();
    return QStringLiteral(R"(<ui language="c++">
 <widget class="%1" name="%2">
  <property name="geometry">
   <rect><x>0</x><y>0</y><width>%3</width><height>%4</height></rect>
  </property>
 </widget>
 <customwidgets>
  <customwidget>
   <class>%1</class>
   <extends>%5</extends>
   <header location="global">%6</header>
  </customwidget>
 </customwidgets>
</ui>
)")
        .arg(cls, object)
        .arg(entry_.size.width())
        .arg(entry_.size.height())
        .arg(QString::fromLatin1(entry_.baseClass), QString::fromLatin1(entry_.header));
}

} // namespace kx::designer
