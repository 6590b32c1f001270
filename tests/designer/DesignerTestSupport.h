#pragma once
#include <QPluginLoader>
#include <QStringList>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

namespace kx {

// The plugin as built, loaded the way Designer loads it; null when it does
// not load (the loader's reason in error).
inline QDesignerCustomWidgetCollectionInterface* DesignerCollection(QString* error = nullptr)
{
    QPluginLoader loader(QStringLiteral(KX_DESIGNER_PLUGIN_FILE));
    QObject* instance = loader.instance();
    if (error)
        *error = loader.errorString();
    return qobject_cast<QDesignerCustomWidgetCollectionInterface*>(instance);
}

// Every class the widget box must offer.
inline QStringList DesignerClasses()
{
    return {"kx::TKXAudioPeakViewer", "kx::TKXCustomPeakViewer", "kx::TKXPeakEffectViewer", "kx::TWavViewer",
            "kx::TKXPlayerControls",  "kx::TKXFloatEdit",        "kx::TKXCommonPlayer"};
}

} // namespace kx
