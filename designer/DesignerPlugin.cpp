#include "DesignerPlugin.h"

#include "WidgetInterface.h"

namespace kx::designer {

DesignerPlugin::DesignerPlugin(QObject* parent) : QObject(parent)
{
    for (const WidgetSpec& spec : WidgetSpecs())
        widgets_.append(new WidgetInterface(spec, this));
}

DesignerPlugin::~DesignerPlugin()
{
    ReleaseMessageHook();
}

} // namespace kx::designer

