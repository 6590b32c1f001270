#include "DesignerPlugin.h"

#include "WidgetInterface.h"

namespace kx::designer {

DesignerPlugin::DesignerPlugin(QObject* parent) : QObject(parent)
{
    for (const WidgetEntry& entry : WidgetEntries())
        widgets_.append(new WidgetInterface(entry, this));
}

DesignerPlugin::~DesignerPlugin()
{
    ReleaseMessageHook();
}

} // namespace kx::designer

