#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "QuickTestSupport.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

using namespace PeakTestData;

namespace {

constexpr int W = 400, H = 200, Row = 90;  // row 90 is background in every column
const QRgb Red = qRgb(255, 0, 0), Green = qRgb(0, 255, 0);

QStringList Ids(const QSignalSpy& spy)
{
    QStringList ids;
    for (const auto& args : spy)
        ids << args.at(0).toString();
    return ids;
}

// 60 s at 8000 Hz, 80 frames a record: 100 records a second, and at scaler 1
// record p is drawn in column p (the widget viewer's region tests' data).
class WaveformViewRegionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        pek = dir.filePath(QStringLiteral("peaks.pek"));
        ASSERT_TRUE(Write(pek, Stereo16(8000, 80, 60, Constant(49152, 16384))));
        view = harness.Load("import QtQuick\nimport KXAudio\nWaveformView { source: \"" + pek.toUtf8() + "\" }", W, H);
        ASSERT_TRUE(view);
    }
    // Runs JavaScript in the view's scope, as a QML file calling it would.
    QVariant Js(const QString& code)
    {
        QQmlExpression e(qmlContext(view), view, code);
        QVariant v = e.evaluate();
        EXPECT_FALSE(e.hasError()) << e.error().toString().toStdString() << " in " << code.toStdString();
        return v;
    }
    QImage Grab() { return harness.Grab().convertToFormat(QImage::Format_RGB32); }
    // Press at `from`, move through `via`, release at the last of them.
    void Drag(int from, std::initializer_list<int> via)
    {
        QQuickView& w = harness.View();
        QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(from, Row));
        int last = from;
        for (int x : via)
            QTest::mouseMove(&w, QPoint(last = x, Row));
        QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(last, Row));
    }

    QTemporaryDir dir;
    QString pek;
    QuickHarness harness;
    QObject* view = nullptr;
};

TEST_F(WaveformViewRegionsTest, drawsRegionsPointsAndLabelsAsTheWidgetViewerDoes)
{
    view->setProperty("timeAxisHeight", 24);
    Js("addRegion(1.0, 2.0, 'red', 'Intro', true)");
    Js("addRegion(2.5, 2.6, 'blue', 'A label far wider than its region')");
    Js("addTimePoint(3.0, '#00ff00', 'Drop')");
    Js("addTimePoint(3.05, 'magenta', 'Next one')");
    TKXAudioPeakViewer widget;
    // The quick view labels in the application's font.
    widget.setFont(QGuiApplication::font());
    Prepare(widget, W, H);
    ASSERT_TRUE(widget.LoadFromFile(pek));
    widget.SetTimeAxisHeight(24);
    for (const QVariant& r : Js("regions()").toList()) {
        const QVariantMap m = r.toMap();
        PeakRegion region;
        region.Start = m["start"].toDouble();
        region.End = m["end"].toDouble();
        region.Color = m["color"].value<QColor>();
        region.Label = m["label"].toString();
        region.Editable = m["editable"].toBool();
        widget.AddRegion(region);
    }
    for (const QVariant& p : Js("points()").toList()) {
        const QVariantMap m = p.toMap();
        PeakPoint point;
        point.Time = m["time"].toDouble();
        point.Color = m["color"].value<QColor>();
        point.Label = m["label"].toString();
        widget.AddTimePoint(point);
    }
    ASSERT_EQ(widget.RegionSet().Regions().size(), 2u);
    ASSERT_EQ(widget.RegionSet().Points().size(), 2u);
    const QImage quick = Grab();
    const QImage painted = widget.BufferImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(quick.size(), painted.size());
    EXPECT_TRUE(quick == painted);
    // Labels are drawn: the picture differs from one without them.
    Js("updateRegion('region.0', {label: ''})");
    EXPECT_FALSE(Grab() == quick);
}

TEST_F(WaveformViewRegionsTest, fillsAndPointLinesLandWhereTheirTimesPutThem)
{
    const QImage plain = Grab();
    Js("addRegion(1.0, 2.0, 'red')");
    Js("addTimePoint(3.0, 'lime')");
    QImage b = Grab();
    EXPECT_EQ(b.pixel(100, Row), Red);  // start edge
    EXPECT_EQ(b.pixel(199, Row), Red);  // end edge: the last column before record 200
    for (int x : {101, 150, 198}) {
        // Translucent under the peaks: the background shows through, tinted.
        EXPECT_GT(qRed(b.pixel(x, Row)), qRed(plain.pixel(x, Row))) << x;
        EXPECT_LT(qGreen(b.pixel(x, Row)), qGreen(plain.pixel(x, Row))) << x;
    }
    // The peaks keep their colour inside the region.
    EXPECT_EQ(b.pixel(150, H / 4), plain.pixel(150, H / 4));
    for (int x : {99, 200, 250, 299, 301, 399})
        EXPECT_EQ(b.pixel(x, Row), plain.pixel(x, Row)) << x;
    for (int y : {10, 50, 90, 150})
        EXPECT_EQ(b.pixel(300, y), Green) << y;
    // The frame stays whole.
    EXPECT_EQ(b.pixel(300, 0), plain.pixel(300, 0));
    EXPECT_EQ(b.pixel(300, H - 1), plain.pixel(300, H - 1));

    // They move with the view, and with the zoom.
    view->setProperty("scrollPosition", 50);
    b = Grab();
    EXPECT_EQ(b.pixel(50, Row), Red);
    EXPECT_EQ(b.pixel(250, Row), Green);
    EXPECT_NE(b.pixel(300, Row), Green);
    view->setProperty("scrollPosition", 0);
    view->setProperty("timeScaler", 2.0f);
    b = Grab();
    EXPECT_EQ(b.pixel(50, Row), Red);
    EXPECT_EQ(b.pixel(99, Row), Red);
    EXPECT_EQ(b.pixel(150, Row), Green);
    EXPECT_NE(b.pixel(100, Row), Red);
    view->setProperty("timeScaler", 1.0f);
    Js("clearRegions()");
    EXPECT_TRUE(Grab() == plain);
}

TEST_F(WaveformViewRegionsTest, jsonRoundTripsAndMalformedJsonChangesNothing)
{
    QSignalSpy added(view, SIGNAL(regionAdded(QString)));
    QSignalSpy removed(view, SIGNAL(regionRemoved(QString)));
    QSignalSpy pointAdded(view, SIGNAL(pointAdded(QString)));
    ASSERT_TRUE(Js(R"(loadRegions(JSON.stringify({
        segments: [{id: 7, startTime: 0.5, endTime: 1, color: "#112233", labelText: "Verse", editable: true,
                    note: "kept"}, {id: "b", startTime: 2, endTime: 3}],
        points: [{id: "c", time: 1.5, tag: 3}], project: "demo"})))")
                    .toBool());
    EXPECT_EQ(Ids(added), QStringList({"7", "b"}));
    EXPECT_EQ(Ids(pointAdded), QStringList({"c"}));
    EXPECT_EQ(view->property("regionCount").toInt(), 2);
    EXPECT_EQ(view->property("pointCount").toInt(), 1);
    EXPECT_EQ(Js("region('7').label").toString(), "Verse");
    EXPECT_EQ(Js("region('7').color").value<QColor>(), QColor(0x11, 0x22, 0x33));
    EXPECT_TRUE(view->property("regionsError").toString().isEmpty());

    const QString json = Js("regionsJson()").toString();
    const QJsonObject doc = QJsonDocument::fromJson(json.toUtf8()).object();
    const QJsonObject first = doc["segments"].toArray().at(0).toObject();
    EXPECT_TRUE(first["id"].isDouble());  // a number stays a number
    EXPECT_EQ(first["id"].toInt(), 7);
    EXPECT_EQ(first["note"], QJsonValue("kept"));
    EXPECT_EQ(first["endTime"].toDouble(), 1.0);
    EXPECT_EQ(doc["points"].toArray().at(0).toObject()["tag"].toInt(), 3);
    EXPECT_EQ(doc["project"], QJsonValue("demo"));
    // Read back, it writes the same text.
    ASSERT_TRUE(Js("loadRegions(regionsJson())").toBool());
    EXPECT_EQ(Js("regionsJson()").toString(), json);

    added.clear();
    removed.clear();
    for (const char* bad : {"loadRegions('{\"segments\": [{\"startTime\": 2, \"endTime\": 1}]}')",
                            "loadRegions('not json')", "loadRegions('{\"points\": [{\"time\": \"soon\"}]}')"}) {
        EXPECT_FALSE(Js(QString::fromLatin1(bad)).toBool()) << bad;
        EXPECT_FALSE(view->property("regionsError").toString().isEmpty()) << bad;
    }
    EXPECT_TRUE(view->property("regionsError").toString().contains("time")) << view->property("regionsError").toString().toStdString();
    EXPECT_EQ(Js("regionsJson()").toString(), json);
    EXPECT_EQ(added.count() + removed.count(), 0);
    EXPECT_EQ(view->property("regionCount").toInt(), 2);
    // A good load clears the reason.
    EXPECT_TRUE(Js("loadRegions('{}')").toBool());
    EXPECT_TRUE(view->property("regionsError").toString().isEmpty());
    EXPECT_EQ(Ids(removed), QStringList({"7", "b"}));
    EXPECT_EQ(view->property("pointCount").toInt(), 0);
}

TEST_F(WaveformViewRegionsTest, callsRaiseTheWidgetViewersSignals)
{
    QSignalSpy added(view, SIGNAL(regionAdded(QString)));
    QSignalSpy changed(view, SIGNAL(regionChanged(QString)));
    QSignalSpy removed(view, SIGNAL(regionRemoved(QString)));
    QSignalSpy pointAdded(view, SIGNAL(pointAdded(QString)));
    QSignalSpy pointChanged(view, SIGNAL(pointChanged(QString)));
    QSignalSpy pointRemoved(view, SIGNAL(pointRemoved(QString)));
    QSignalSpy counted(view, SIGNAL(regionCountChanged()));
    const QString id = Js("addRegion(1, 2, 'red', 'Intro', false, 'intro')").toString();
    EXPECT_EQ(id, "intro");
    EXPECT_EQ(Js("addRegion(3, 4, 'red', '', false, 'intro')").toString(), "region.0");  // an id in use
    EXPECT_TRUE(Js("addRegion(2, 1)").toString().isEmpty());
    EXPECT_TRUE(Js("addRegion(-1, 1)").toString().isEmpty());
    EXPECT_EQ(Ids(added), QStringList({"intro", "region.0"}));
    EXPECT_EQ(counted.count(), 2);
    EXPECT_EQ(view->property("regionCount").toInt(), 2);

    EXPECT_TRUE(Js("updateRegion('intro', {end: 2.5, editable: true})").toBool());
    EXPECT_TRUE(Js("updateRegion('intro', {end: 2.5})").toBool());  // unchanged: no signal
    EXPECT_EQ(Ids(changed), QStringList({"intro"}));
    EXPECT_EQ(Js("region('intro').end").toDouble(), 2.5);
    EXPECT_EQ(Js("region('intro').color").value<QColor>(), QColor(Qt::red));
    EXPECT_TRUE(Js("region('intro').editable").toBool());
    // Refused: times, an unknown key, a wrong type, an unknown id.
    for (const char* refused : {"updateRegion('intro', {start: 3})", "updateRegion('intro', {strat: 1.5})",
                                "updateRegion('intro', {label: 5})", "updateRegion('intro', {color: 'nocolour'})",
                                "updateRegion('intro', {start: '1'})", "updateRegion('none', {})"})
        EXPECT_FALSE(Js(QString::fromLatin1(refused)).toBool()) << refused;
    EXPECT_EQ(Js("region('intro').start").toDouble(), 1.0);
    EXPECT_EQ(changed.count(), 1);

    const QString p = Js("addTimePoint(1.5, 'green', 'cue', true)").toString();
    EXPECT_EQ(p, "point.0");
    EXPECT_TRUE(Js("updateTimePoint('point.0', {time: 1.75})").toBool());
    EXPECT_FALSE(Js("updateTimePoint('point.0', {time: -1})").toBool());
    EXPECT_EQ(Js("point('point.0').time").toDouble(), 1.75);
    EXPECT_EQ(Ids(pointAdded), QStringList({p}));
    EXPECT_EQ(Ids(pointChanged), QStringList({p}));
    EXPECT_EQ(view->property("pointCount").toInt(), 1);

    EXPECT_TRUE(Js("removeRegion('intro')").toBool());
    EXPECT_FALSE(Js("removeRegion('intro')").toBool());
    EXPECT_TRUE(Js("region('intro')").toMap().isEmpty());
    Js("clearRegions()");
    EXPECT_EQ(Ids(removed), QStringList({"intro", "region.0"}));
    EXPECT_EQ(Ids(pointRemoved), QStringList({p}));
    EXPECT_EQ(view->property("regionCount").toInt(), 0);
    EXPECT_EQ(view->property("pointCount").toInt(), 0);
    EXPECT_EQ(counted.count(), 4);
}

TEST_F(WaveformViewRegionsTest, dragsEditableEdgesOntoRecordsAndLeavesFixedRegions)
{
    view->setProperty("timeScaler", 4.0f);  // column x shows records 4x to 4x + 3
    const QString id = Js("addRegion(1.0, 2.0, 'red', '', true)").toString();  // columns 25 to 50
    const QString fixed = Js("addRegion(3.0, 4.0, 'blue', '', false)").toString();  // columns 75 to 100
    QSignalSpy changed(view, SIGNAL(regionChanged(QString)));
    QSignalSpy clicked(view, SIGNAL(regionClicked(QString)));
    QSignalSpy cursor(view, SIGNAL(cursorPositionChanged(qint64)));
    // Hovering shows what a press would take.
    auto* item = qobject_cast<QQuickItem*>(view);
    QTest::mouseMove(&harness.View(), QPoint(25, Row));
    EXPECT_EQ(item->cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(&harness.View(), QPoint(40, Row));
    EXPECT_EQ(item->cursor().shape(), Qt::OpenHandCursor);
    QTest::mouseMove(&harness.View(), QPoint(300, Row));
    EXPECT_EQ(item->cursor().shape(), Qt::ArrowCursor);

    Drag(25, {31, 30});
    EXPECT_DOUBLE_EQ(Js("region('" + id + "').start").toDouble(), 1.2);  // record 120
    EXPECT_EQ(Js("region('" + id + "').end").toDouble(), 2.0);
    EXPECT_EQ(Ids(changed), QStringList({id, id}));
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(cursor.count(), 0);  // the edge took the press
    // The end edge stops one record after the start; the inside moves both.
    Drag(50, {10});
    EXPECT_DOUBLE_EQ(Js("region('" + id + "').end").toDouble(), 1.21);
    ASSERT_TRUE(Js("updateRegion('" + id + "', {end: 2.0})").toBool());
    Drag(35, {45});
    EXPECT_DOUBLE_EQ(Js("region('" + id + "').start").toDouble(), 1.6);
    EXPECT_DOUBLE_EQ(Js("region('" + id + "').end").toDouble(), 2.4);

    // A fixed region moves neither by its edge nor by its inside; its press
    // places the cursor, and only a press without a move is a click.
    changed.clear();
    Drag(75, {90});
    Drag(85, {95});
    EXPECT_EQ(Js("region('" + fixed + "').start").toDouble(), 3.0);
    EXPECT_EQ(Js("region('" + fixed + "').end").toDouble(), 4.0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(cursor.count(), 2);
    Drag(85, {});
    Drag(40, {});
    EXPECT_EQ(Ids(clicked), QStringList({fixed, id}));
    EXPECT_EQ(view->property("selectedRegion").toString(), id);

    const QString p = Js("addTimePoint(5.0, 'green', '', true)").toString();  // column 125
    QSignalSpy pointClicked(view, SIGNAL(pointClicked(QString)));
    Drag(125, {});
    EXPECT_EQ(Ids(pointClicked), QStringList({p}));
    EXPECT_EQ(view->property("selectedPoint").toString(), p);
    EXPECT_TRUE(view->property("selectedRegion").toString().isEmpty());
    Drag(125, {150});
    EXPECT_DOUBLE_EQ(Js("point('" + p + "').time").toDouble(), 6.0);
}

TEST_F(WaveformViewRegionsTest, keysNudgeAndDeleteThePressedEditableItem)
{
    const QString id = Js("addRegion(1.0, 2.0, 'red', '', true)").toString();
    const QString fixed = Js("addRegion(3.0, 4.0, 'blue')").toString();
    QSignalSpy removed(view, SIGNAL(regionRemoved(QString)));
    QQuickView& w = harness.View();
    Drag(150, {});  // selects the region and takes the keys
    ASSERT_EQ(view->property("selectedRegion").toString(), id);
    QTest::keyClick(&w, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(Js("region('" + id + "').start").toDouble(), 1.01);
    QTest::keyClick(&w, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(Js("region('" + id + "').start").toDouble(), 0.91);
    EXPECT_DOUBLE_EQ(Js("region('" + id + "').end").toDouble(), 1.91);
    // A fixed region neither moves nor goes.
    Drag(350, {});
    ASSERT_EQ(view->property("selectedRegion").toString(), fixed);
    QTest::keyClick(&w, Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(&w, Qt::Key_Delete);
    EXPECT_EQ(Js("region('" + fixed + "').start").toDouble(), 3.0);
    EXPECT_EQ(removed.count(), 0);
    Drag(150, {});
    QTest::keyClick(&w, Qt::Key_Delete);
    EXPECT_EQ(Ids(removed), QStringList({id}));
    EXPECT_TRUE(view->property("selectedRegion").toString().isEmpty());

    // Insert adds a region over the mark only when asked to.
    Js("setMark(500, 1500)");
    QTest::keyClick(&w, Qt::Key_Insert);
    EXPECT_EQ(view->property("regionCount").toInt(), 1);
    view->setProperty("regionInsertKey", true);
    Drag(350, {});
    QTest::keyClick(&w, Qt::Key_Insert);
    ASSERT_EQ(view->property("regionCount").toInt(), 2);
    const QString added = view->property("selectedRegion").toString();
    EXPECT_EQ(Js("region('" + added + "').start").toDouble(), 0.5);
    EXPECT_EQ(Js("region('" + added + "').end").toDouble(), 1.5);
    EXPECT_TRUE(Js("region('" + added + "').editable").toBool());
}

// Reads a whole file; empty when it cannot.
QByteArray Contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteText(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

TEST_F(WaveformViewRegionsTest, regionsFilesRoundTripByPathAndFileUrl)
{
    ASSERT_TRUE(Js(R"(loadRegions(JSON.stringify({
        segments: [{id: 7, startTime: 0.5, endTime: 1, color: "#112233", labelText: "Verse", note: "kept"}],
        points: [{id: "c", time: 1.5}], project: "demo"})))")
                    .toBool());
    const QString json = Js("regionsJson()").toString();
    const QString path = dir.filePath(QStringLiteral("song.regions.json"));
    const QString url = QUrl::fromLocalFile(path).toString();
    ASSERT_TRUE(Js("saveRegionsFile('" + path + "')").toBool())
        << view->property("regionsError").toString().toStdString();
    EXPECT_EQ(Contents(path), json.toUtf8());

    // A file URL as a file dialog hands it over (a url value), and as text.
    Js("clearRegions()");
    ASSERT_TRUE(Js("loadRegionsFile(Qt.resolvedUrl('" + url + "'))").toBool())
        << view->property("regionsError").toString().toStdString();
    EXPECT_EQ(Js("regionsJson()").toString(), json);
    Js("updateRegion('7', {label: 'Chorus'})");
    // Our own file may be replaced.
    ASSERT_TRUE(Js("saveRegionsFile('" + url + "')").toBool())
        << view->property("regionsError").toString().toStdString();
    Js("clearRegions()");
    ASSERT_TRUE(Js("loadRegionsFile('" + path + "')").toBool());
    EXPECT_EQ(Js("region('7').label").toString(), "Chorus");
    EXPECT_EQ(Js("point('c').time").toDouble(), 1.5);
    EXPECT_TRUE(view->property("regionsError").toString().isEmpty());
}

TEST_F(WaveformViewRegionsTest, loadRegionsFileFailuresChangeNothingAndSayWhy)
{
    ASSERT_FALSE(Js("addRegion(1, 2, 'red', 'keep', false, 'a')").toString().isEmpty());
    const QString json = Js("regionsJson()").toString();
    QSignalSpy removed(view, SIGNAL(regionRemoved(QString)));
    QSignalSpy errorChanged(view, SIGNAL(regionsErrorChanged()));

    const QString missing = dir.filePath(QStringLiteral("missing.json"));
    EXPECT_FALSE(Js("loadRegionsFile('" + missing + "')").toBool());
    EXPECT_TRUE(view->property("regionsError").toString().contains(missing))
        << view->property("regionsError").toString().toStdString();
    EXPECT_EQ(errorChanged.count(), 1);

    const QString bad = dir.filePath(QStringLiteral("bad.json"));
    ASSERT_TRUE(WriteText(bad, R"({"segments": [{"startTime": 3, "endTime": 1}]})"));
    EXPECT_FALSE(Js("loadRegionsFile('" + bad + "')").toBool());
    EXPECT_TRUE(view->property("regionsError").toString().startsWith(bad + ": "))
        << view->property("regionsError").toString().toStdString();

    EXPECT_EQ(Js("regionsJson()").toString(), json);
    EXPECT_EQ(removed.count(), 0);
}

TEST_F(WaveformViewRegionsTest, foreignJsonIsReadButNeverOverwritten)
{
    const QString foreign = dir.filePath(QStringLiteral("other.json"));
    const QByteArray theirs = R"({"segments": [{"id": "x", "startTime": 1, "endTime": 2}], "points": []})";
    ASSERT_TRUE(WriteText(foreign, theirs));
    ASSERT_TRUE(Js("loadRegionsFile('" + foreign + "')").toBool());
    EXPECT_EQ(view->property("regionCount").toInt(), 1);

    EXPECT_FALSE(Js("saveRegionsFile('" + foreign + "')").toBool());
    EXPECT_FALSE(view->property("regionsError").toString().isEmpty());
    EXPECT_EQ(Contents(foreign), theirs);
    EXPECT_EQ(view->property("regionCount").toInt(), 1);
    // A successful save clears the reason.
    EXPECT_TRUE(Js("saveRegionsFile('" + dir.filePath(QStringLiteral("ours.json")) + "')").toBool());
    EXPECT_TRUE(view->property("regionsError").toString().isEmpty());
}

TEST_F(WaveformViewRegionsTest, saveRegionsFileRefusesThePeakFileReadOnlyFilesAndLinksToThePeakFile)
{
    ASSERT_FALSE(Js("addRegion(1, 2)").toString().isEmpty());
    const QByteArray peaks = Contents(pek);
    ASSERT_FALSE(peaks.isEmpty());
    const QString link = dir.filePath(QStringLiteral("link.json"));
    ASSERT_TRUE(QFile::link(pek, link));
    const QString ok = dir.filePath(QStringLiteral("ok.json"));
    for (const QString& target : {pek, QUrl::fromLocalFile(pek).toString(), link}) {
        ASSERT_TRUE(Js("saveRegionsFile('" + ok + "')").toBool());  // clears the reason
        EXPECT_FALSE(Js("saveRegionsFile('" + target + "')").toBool()) << target.toStdString();
        EXPECT_TRUE(view->property("regionsError").toString().startsWith(target == link ? link : pek))
            << view->property("regionsError").toString().toStdString();
    }
    EXPECT_EQ(Contents(pek), peaks);
    EXPECT_TRUE(QFileInfo(link).isSymLink());

    // One of our own files, made read-only.
    const QString locked = dir.filePath(QStringLiteral("locked.json"));
    ASSERT_TRUE(Js("saveRegionsFile('" + locked + "')").toBool());
    const QByteArray before = Contents(locked);
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    Js("addRegion(3, 4)");
    EXPECT_FALSE(Js("saveRegionsFile('" + locked + "')").toBool());
    EXPECT_TRUE(view->property("regionsError").toString().contains("read-only"))
        << view->property("regionsError").toString().toStdString();
    EXPECT_EQ(Contents(locked), before);
}

} // namespace

} // namespace kx
