// A form of every widget, loaded through QUiLoader with the plugin: each
// widget is made with its class and takes the form's property values.
#include <QColor>
#include <QFile>
#include <QUiLoader>
#include <QVariant>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

#include "DesignerTestSupport.h"
#include "platform/DesignState.h"

namespace kx {

namespace {

struct Expected {
    const char* object;
    const char* className;
    const char* property;
    QVariant value;
};

// What AllWidgets.ui sets; every value differs from the widget's default.
// A float property is written as <double>, as Designer saves it: the form
// reader takes no <float>.
const std::vector<Expected>& FormValues()
{
    static const std::vector<Expected> values = {
        {"peakViewer", "kx::TKXAudioPeakViewer", "peaksColor", QColor(255, 0, 0)},
        {"peakViewer", "kx::TKXAudioPeakViewer", "color", QColor(16, 32, 48)},
        {"peakViewer", "kx::TKXAudioPeakViewer", "autoMove", false},
        {"peakViewer", "kx::TKXAudioPeakViewer", "playStepPercent", 25},
        {"peakViewer", "kx::TKXAudioPeakViewer", "peakReduction", 1},
        {"peakViewer", "kx::TKXAudioPeakViewer", "timeScaler", 4.0},
        {"peakViewer", "kx::TKXAudioPeakViewer", "timeAxisHeight", 20},
        {"customPeakViewer", "kx::TKXCustomPeakViewer", "paintCursor", true},
        {"customPeakViewer", "kx::TKXCustomPeakViewer", "positionColor", QColor(0, 0, 255)},
        {"effectViewer", "kx::TKXPeakEffectViewer", "effectColorA", QColor(0, 255, 0)},
        {"effectViewer", "kx::TKXPeakEffectViewer", "focusedType", 2},
        {"effectViewer", "kx::TKXPeakEffectViewer", "stereoEffects", true},
        {"effectViewer", "kx::TKXPeakEffectViewer", "singlePointLevel", false},
        {"wavViewer", "kx::TWavViewer", "secondsToShow", 10},
        {"wavViewer", "kx::TWavViewer", "marksColor", QColor(128, 0, 128)},
        {"wavViewer", "kx::TWavViewer", "infoBorderStyle", 1},
        {"wavViewer", "kx::TWavViewer", "autoLoop", true},
        {"playerControls", "kx::TKXPlayerControls", "visibleButtons", 31},
        {"playerControls", "kx::TKXPlayerControls", "flatButtons", false},
        {"playerControls", "kx::TKXPlayerControls", "captureMode", 2},
        {"playerControls", "kx::TKXPlayerControls", "autoSpace", true},
        {"floatEdit", "kx::TKXFloatEdit", "minValue", -10.0},
        {"floatEdit", "kx::TKXFloatEdit", "maxValue", 10.0},
        {"floatEdit", "kx::TKXFloatEdit", "decimals", 3},
        {"floatEdit", "kx::TKXFloatEdit", "float", 2.5},
        {"floatEdit", "kx::TKXFloatEdit", "upDown", true},
        {"floatEdit", "kx::TKXFloatEdit", "buttonColor", QColor(255, 255, 0)},
        {"videoPanel", "kx::TKXCommonPlayer", "color", QColor(32, 32, 96)},
        {"videoPanel", "kx::TKXCommonPlayer", "zoomMode", 2},
        {"videoPanel", "kx::TKXCommonPlayer", "volume", -500},
        {"videoPanel", "kx::TKXCommonPlayer", "skinnedApp", true},
    };
    return values;
}

// Colours compare as colours, numbers as numbers (a float property reads
// back as float, the table holds double).
bool Same(const QVariant& actual, const QVariant& expected)
{
    if (expected.typeId() == QMetaType::QColor)
        return actual.value<QColor>() == expected.value<QColor>();
    if (expected.typeId() == QMetaType::Double)
        return qFuzzyCompare(actual.toDouble(), expected.toDouble());
    return actual == expected;
}

std::unique_ptr<QUiLoader> PluginLoader()
{
    auto loader = std::make_unique<QUiLoader>();
    // Only this build's plugin, not one installed on the machine.
    loader->clearPluginPaths();
    loader->addPluginPath(QStringLiteral(KX_DESIGNER_PLUGIN_DIR));
    return loader;
}

} // namespace

TEST(DesignerForm, loaderMakesEveryWidgetWithTheFormsPropertyValues)
{
    auto loader = PluginLoader();
    for (const QString& name : DesignerClasses())
        EXPECT_TRUE(loader->availableWidgets().contains(name)) << name.toStdString();

    QFile file(QStringLiteral(KX_DESIGNER_FORM));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::unique_ptr<QWidget> form(loader->load(&file));
    ASSERT_NE(form, nullptr) << loader->errorString().toStdString();

    for (const Expected& e : FormValues()) {
        SCOPED_TRACE(std::string(e.object) + "." + e.property);
        auto* widget = form->findChild<QWidget*>(QString::fromLatin1(e.object));
        ASSERT_NE(widget, nullptr);
        EXPECT_TRUE(widget->inherits(e.className)) << widget->metaObject()->className();
        auto* state = dynamic_cast<DesignState*>(widget);
        ASSERT_NE(state, nullptr);
        EXPECT_FALSE(state->Designing());
        EXPECT_TRUE(Same(widget->property(e.property), e.value))
            << widget->property(e.property).toString().toStdString();

        // A value the widget has anyway would prove nothing.
        std::unique_ptr<QWidget> fresh(loader->createWidget(QString::fromLatin1(e.className)));
        ASSERT_NE(fresh, nullptr);
        EXPECT_FALSE(Same(fresh->property(e.property), e.value));
    }
    // The geometry the form gives.
    EXPECT_EQ(form->findChild<QWidget*>(QStringLiteral("wavViewer"))->geometry(), QRect(420, 170, 400, 180));
    form->show();
    EXPECT_TRUE(form->findChild<QWidget*>(QStringLiteral("videoPanel"))->isVisible());
}

} // namespace kx
