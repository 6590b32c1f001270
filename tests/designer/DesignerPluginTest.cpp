// The plugin's widget box entries, and the widgets it makes for a form.
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <gtest/gtest.h>
#include <memory>

#include "DesignerTestSupport.h"
#include "platform/DesignState.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

// The class and geometry of the form's first widget.
struct DomWidget {
    QString className;
    QString name;
    int width = 0;
    int height = 0;
    bool wellFormed = false;
};

DomWidget ParseDomXml(const QString& xml)
{
    DomWidget dom;
    QXmlStreamReader reader(xml);
    QString element;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        element = reader.name().toString();
        if (element == QLatin1String("widget") && dom.className.isEmpty()) {
            dom.className = reader.attributes().value(QLatin1String("class")).toString();
            dom.name = reader.attributes().value(QLatin1String("name")).toString();
        } else if (element == QLatin1String("width") && dom.width == 0) {
            dom.width = reader.readElementText().toInt();
        } else if (element == QLatin1String("height") && dom.height == 0) {
            dom.height = reader.readElementText().toInt();
        }
    }
    dom.wellFormed = !reader.hasError();
    return dom;
}

} // namespace

TEST(DesignerPlugin, offersEveryWidgetWithItsInstalledHeaderIconAndForm)
{
    QString error;
    QDesignerCustomWidgetCollectionInterface* collection = DesignerCollection(&error);
    ASSERT_NE(collection, nullptr) << error.toStdString();
    QStringList names;
    for (QDesignerCustomWidgetInterface* widget : collection->customWidgets()) {
        const QString name = widget->name();
        SCOPED_TRACE(name.toStdString());
        names.append(name);
        EXPECT_EQ(widget->group(), QStringLiteral("KX Audio"));
        EXPECT_FALSE(widget->toolTip().isEmpty());
        EXPECT_FALSE(widget->whatsThis().isEmpty());
        EXPECT_FALSE(widget->isContainer());
        EXPECT_FALSE(widget->icon().pixmap(22, 22).isNull());

        // <kxaudio/folder/File.h>: the header as installed, which exists in the tree.
        const QString include = widget->includeFile();
        ASSERT_TRUE(include.startsWith(QLatin1String("<kxaudio/")) && include.endsWith(QLatin1Char('>')))
            << include.toStdString();
        const QString header = include.mid(9, include.size() - 10);
        EXPECT_TRUE(QFileInfo::exists(QStringLiteral(KX_SOURCE_DIR "/") + header)) << header.toStdString();

        const DomWidget dom = ParseDomXml(widget->domXml());
        EXPECT_TRUE(dom.wellFormed);
        EXPECT_EQ(dom.className, name);
        EXPECT_FALSE(dom.name.isEmpty());
        EXPECT_FALSE(dom.name.contains(QLatin1Char(':')));
        EXPECT_GE(dom.width, 16);
        EXPECT_GE(dom.height, 16);
        EXPECT_TRUE(widget->domXml().contains(QLatin1String(">") + include.mid(1, include.size() - 2) +
                                              QLatin1String("</header>")));
    }
    QStringList expected = DesignerClasses();
    expected.sort();
    names.sort();
    EXPECT_EQ(names, expected);
}

TEST(DesignerPlugin, makesEveryWidgetAloneOrOnAFormAndEachShowsAndHides)
{
    QDesignerCustomWidgetCollectionInterface* collection = DesignerCollection();
    ASSERT_NE(collection, nullptr);
    for (QDesignerCustomWidgetInterface* widget : collection->customWidgets()) {
        SCOPED_TRACE(widget->name().toStdString());
        std::unique_ptr<QWidget> alone(widget->createWidget(nullptr));
        ASSERT_NE(alone, nullptr);
        // Not the stand-in label of a widget that could not be made.
        EXPECT_EQ(QString::fromLatin1(alone->metaObject()->className()), widget->name());
        auto* state = dynamic_cast<DesignState*>(alone.get());
        ASSERT_NE(state, nullptr);
        // Outside Designer the widgets behave as in any program.
        EXPECT_FALSE(state->Designing());
        alone->show();
        EXPECT_TRUE(alone->isVisible());
        alone->hide();

        QWidget form;
        form.resize(640, 480);
        QWidget* child = widget->createWidget(&form);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(child->parentWidget(), &form);
        form.show();
        EXPECT_TRUE(child->isVisible());
        form.hide();
        delete child;
        // The form outlives its child and the reverse: both orders are safe.
        QWidget* second = widget->createWidget(&form);
        ASSERT_NE(second, nullptr);
        form.show();
    }
}

// Last in this file: a form editor makes every later widget of this process
// a design-time one.
TEST(DesignerPlugin, designTimeWidgetsNeitherBlockNorWriteFiles)
{
    QDesignerCustomWidgetCollectionInterface* collection = DesignerCollection();
    ASSERT_NE(collection, nullptr);
    QDesignerFormEditorInterface core;
    QWidget form;
    form.resize(640, 480);
    QWidget* wav = nullptr;
    for (QDesignerCustomWidgetInterface* widget : collection->customWidgets()) {
        SCOPED_TRACE(widget->name().toStdString());
        widget->initialize(&core);
        EXPECT_TRUE(widget->isInitialized());
        QWidget* made = widget->createWidget(&form);
        auto* state = dynamic_cast<DesignState*>(made);
        ASSERT_NE(state, nullptr);
        EXPECT_TRUE(state->Designing());
        if (widget->name() == QLatin1String("kx::TWavViewer"))
            wav = made;
    }
    ASSERT_NE(wav, nullptr);
    form.show();

    // A file named in Designer is read, and nothing is written beside it.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(TestMedia::WriteWav(file, {}, TestMedia::Sine(440, 0.5, 44100)));
    EXPECT_TRUE(wav->setProperty("savePeaks", true));
    EXPECT_TRUE(wav->setProperty("fileName", file));
    EXPECT_EQ(wav->property("fileName").toString(), file);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("tone.wav")});

    // A refused file's message does not stop Designer in a nested loop:
    // this write returns, and the message stays open on the viewer.
    const QString text = dir.filePath(QStringLiteral("notes.wav"));
    ASSERT_TRUE(TestMedia::WriteFile(text, {'n', 'o', 't', 'e', 's'}));
    EXPECT_TRUE(wav->setProperty("fileName", text));
    EXPECT_EQ(wav->property("fileName").toString(), file);
    auto* box = wav->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
}

} // namespace kx
