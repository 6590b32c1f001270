#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/MemoryStream.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

using namespace PeakTestData;

namespace {

void SendMouse(QWidget& w, QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons held)
{
    const QPointF at(x, 90);
    QMouseEvent e(type, at, w.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

// Press at `from`, move through `via`, release at the last of them.
void Drag(QWidget& w, int from, std::initializer_list<int> via)
{
    SendMouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    int last = from;
    for (int x : via)
        SendMouse(w, QEvent::MouseMove, last = x, Qt::NoButton, Qt::LeftButton);
    SendMouse(w, QEvent::MouseButtonRelease, last, Qt::LeftButton, Qt::NoButton);
}

void SendKey(QWidget& w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(&w, &release);
}

PeakRegion Region(double start, double end, QColor color = Qt::red, bool editable = true)
{
    PeakRegion r;
    r.Start = start;
    r.End = end;
    r.Color = color;
    r.Editable = editable;
    return r;
}

// The ids a spy of a one-string signal saw, in order.
QStringList Ids(const QSignalSpy& spy)
{
    QStringList ids;
    for (const auto& args : spy)
        ids << args.at(0).toString();
    return ids;
}

// 60 s at 8000 Hz, 80 frames a record: 100 records a second, and at scaler 1
// record p is drawn in column p. Row 90 is background in every column.
class PeakRegionViewerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Prepare(v, 400, 200);
        const auto bytes = Stereo16(8000, 80, 60, Constant(49152, 16384));
        TMemoryStream s;
        s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        ASSERT_TRUE(v.LoadFromStream(&s));
        plain = v.BufferImage().copy();
    }
    const PeakRegion& Only() const { return v.RegionSet().Regions().at(0); }

    TKXAudioPeakViewer v;
    QImage plain;
};

TEST_F(PeakRegionViewerTest, drawsRegionsAndPointsAtTheirColumns)
{
    v.AddRegion(Region(1.0, 2.0));
    PeakPoint p;
    p.Time = 3.0;
    p.Color = Qt::green;
    v.AddTimePoint(p);
    const QImage& b = v.BufferImage();
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0);
    EXPECT_EQ(b.pixel(100, 90), red);  // start edge
    EXPECT_EQ(b.pixel(199, 90), red);  // end edge: the last column before record 200
    for (int x : {101, 150, 198}) {
        // Translucent: the background shows through, tinted.
        EXPECT_GT(qRed(b.pixel(x, 90)), qRed(plain.pixel(x, 90))) << x;
        EXPECT_LT(qGreen(b.pixel(x, 90)), qGreen(plain.pixel(x, 90))) << x;
        EXPECT_NE(b.pixel(x, 90), red) << x;
    }
    for (int x : {99, 200, 250, 299, 301})
        EXPECT_EQ(b.pixel(x, 90), plain.pixel(x, 90)) << x;
    for (int y : {10, 50, 90, 150})
        EXPECT_EQ(b.pixel(300, y), green) << y;
    // The frame stays whole.
    EXPECT_EQ(b.pixel(300, 0), plain.pixel(300, 0));
    EXPECT_EQ(b.pixel(150, b.height() - 1), plain.pixel(150, b.height() - 1));

    // They move with the view.
    v.setScrollPosition(50);
    EXPECT_EQ(v.BufferImage().pixel(50, 90), red);
    EXPECT_EQ(v.BufferImage().pixel(250, 90), green);
    v.ClearRegions();
    v.setScrollPosition(0);
    EXPECT_EQ(v.BufferImage(), plain);
}

TEST_F(PeakRegionViewerTest, labelsStayInsideTheirRegion)
{
    PeakRegion r = Region(1.0, 1.2, Qt::blue);
    r.Label = QStringLiteral("A label far wider than its region");
    v.AddRegion(r);
    const QImage& b = v.BufferImage();
    // The box is at least the text's pixel size high, below the frame.
    const int rows = QFontInfo(v.font()).pixelSize();
    int changedOutside = 0, box = 0, text = 0;
    for (int y = 2; y < rows + 6; ++y)
        for (int x = 121; x < 200; ++x)
            changedOutside += b.pixel(x, y) != plain.pixel(x, y);
    for (int y = 2; y < rows + 2; ++y) {
        for (int x = 102; x < 119; ++x) {
            box += b.pixel(x, y) == qRgb(0, 0, 255);
            text += qBlue(b.pixel(x, y)) < 255 || qRed(b.pixel(x, y)) > 0;
        }
    }
    EXPECT_EQ(changedOutside, 0);
    EXPECT_GT(box, 17 * 3);   // the label's box in the region's colour
    EXPECT_GT(text, 5);       // and letters on it
}

TEST_F(PeakRegionViewerTest, pointLabelsSitAboveTheTimeAxis)
{
    v.SetTimeAxisHeight(30);
    const QImage axisOnly = v.BufferImage().copy();
    PeakPoint p;
    p.Time = 3.0;
    p.Color = Qt::green;
    p.Label = QStringLiteral("Chorus");
    v.AddTimePoint(p);
    const QImage& b = v.BufferImage();
    const int bands = b.height() - 30, rows = QFontInfo(v.font()).pixelSize();
    // The label's box, in the point's colour, ends just above the axis strip.
    int box = 0;
    for (int y = bands - rows - 2; y < bands; ++y)
        for (int x = 302; x < 340; ++x)
            box += b.pixel(x, y) == qRgb(0, 255, 0);
    EXPECT_GT(box, 20 * 3);
    // The axis strip is the axis alone.
    for (int y = bands; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            ASSERT_EQ(b.pixel(x, y), axisOnly.pixel(x, y)) << x << "," << y;
}

TEST_F(PeakRegionViewerTest, draggingAnEdgeSnapsItToRecords)
{
    v.SetTimeScaler(4.0f);  // column x shows records 4x to 4x + 3
    const QString id = v.AddRegion(Region(1.0, 2.0));  // columns 25 to 50
    QSignalSpy changed(&v, &TKXCustomPeakViewer::regionChanged);
    QSignalSpy clicked(&v, &TKXCustomPeakViewer::regionClicked);
    QSignalSpy cursor(&v, &TKXCustomPeakViewer::cursorPositionChanged);
    // Hovering shows what a press would grab, and leaving gives the cursor back.
    const Qt::CursorShape own = v.cursor().shape();
    SendMouse(v, QEvent::MouseMove, 25, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(v.cursor().shape(), Qt::SizeHorCursor);
    SendMouse(v, QEvent::MouseMove, 40, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(v.cursor().shape(), Qt::OpenHandCursor);
    SendMouse(v, QEvent::MouseMove, 300, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(v.cursor().shape(), own);
    Drag(v, 25, {31, 30});
    EXPECT_DOUBLE_EQ(Only().Start, 1.2);  // record 120
    EXPECT_EQ(Only().End, 2.0);
    EXPECT_EQ(Ids(changed), QStringList({id, id}));
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(cursor.count(), 0);  // the edge took the press

    // The end edge stops one record after the start.
    Drag(v, 50, {10});
    EXPECT_DOUBLE_EQ(Only().End, 1.21);
    EXPECT_DOUBLE_EQ(Only().Start, 1.2);
    // An off-grid start stays where it was while the end moves.
    ASSERT_TRUE(v.UpdateRegion([&] { PeakRegion r = Only(); r.Start = 1.003; r.End = 2.0; return r; }()));
    Drag(v, 50, {61});
    EXPECT_EQ(Only().Start, 1.003);
    EXPECT_DOUBLE_EQ(Only().End, 2.44);
}

TEST_F(PeakRegionViewerTest, draggingTheInsideMovesTheWholeRegionWithinTheFile)
{
    const QString id = v.AddRegion(Region(1.0, 2.0));
    QSignalSpy changed(&v, &TKXCustomPeakViewer::regionChanged);
    Drag(v, 150, {170});
    EXPECT_DOUBLE_EQ(Only().Start, 1.2);
    EXPECT_DOUBLE_EQ(Only().End, 2.2);
    // Past the start of the file it stops at 0, keeping its length.
    Drag(v, 150, {0});
    EXPECT_EQ(Only().Start, 0.0);
    EXPECT_DOUBLE_EQ(Only().End, 1.0);
    EXPECT_EQ(Ids(changed), QStringList({id, id}));
}

TEST_F(PeakRegionViewerTest, clicksRaiseEventsAndFixedItemsStayPut)
{
    const QString fixed = v.AddRegion(Region(1.0, 2.0, Qt::red, false));
    PeakPoint p;
    p.Time = 3.0;
    const QString point = v.AddTimePoint(p);
    QSignalSpy clicked(&v, &TKXCustomPeakViewer::regionClicked);
    QSignalSpy pointClicked(&v, &TKXCustomPeakViewer::pointClicked);
    QSignalSpy changed(&v, &TKXCustomPeakViewer::regionChanged);
    QSignalSpy cursor(&v, &TKXCustomPeakViewer::cursorPositionChanged);
    Drag(v, 150, {});
    EXPECT_EQ(Ids(clicked), QStringList({fixed}));
    EXPECT_EQ(v.SelectedRegion(), fixed);
    EXPECT_EQ(cursor.count(), 1);  // a fixed region lets the click place the cursor
    // Neither its edge nor its inside drags it; a drag is no click.
    Drag(v, 100, {130});
    Drag(v, 150, {180});
    EXPECT_EQ(Only().Start, 1.0);
    EXPECT_EQ(Only().End, 2.0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(clicked.count(), 1);
    Drag(v, 301, {});
    EXPECT_EQ(Ids(pointClicked), QStringList({point}));
    EXPECT_EQ(v.SelectedPoint(), point);
    EXPECT_TRUE(v.SelectedRegion().isEmpty());
    // Delete leaves fixed items alone.
    SendKey(v, Qt::Key_Delete);
    EXPECT_EQ(v.RegionSet().Points().size(), 1u);
    // A click on nothing selects nothing.
    Drag(v, 350, {});
    EXPECT_TRUE(v.SelectedPoint().isEmpty());
}

TEST_F(PeakRegionViewerTest, keysAddNudgeAndDeleteWithoutTouchingTheMark)
{
    ASSERT_TRUE(v.SetMark(500, 1500));
    QSignalSpy added(&v, &TKXCustomPeakViewer::regionAdded);
    QSignalSpy changed(&v, &TKXCustomPeakViewer::regionChanged);
    QSignalSpy removed(&v, &TKXCustomPeakViewer::regionRemoved);
    QSignalSpy mark(&v, &TKXCustomPeakViewer::markChanged);
    SendKey(v, Qt::Key_Insert);
    EXPECT_EQ(added.count(), 0);  // off unless asked for
    v.SetRegionInsertKey(true);
    SendKey(v, Qt::Key_Insert);
    ASSERT_EQ(added.count(), 1);
    const QString id = added.at(0).at(0).toString();
    EXPECT_EQ(v.SelectedRegion(), id);
    EXPECT_EQ(Only().Start, 0.5);
    EXPECT_EQ(Only().End, 1.5);
    EXPECT_TRUE(Only().Editable);
    SendKey(v, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(Only().Start, 0.51);
    EXPECT_DOUBLE_EQ(Only().End, 1.51);
    SendKey(v, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(Only().Start, 0.41);
    EXPECT_EQ(changed.count(), 2);
    SendKey(v, Qt::Key_Delete);
    EXPECT_EQ(Ids(removed), QStringList({id}));
    EXPECT_TRUE(v.RegionSet().Empty());
    EXPECT_TRUE(v.SelectedRegion().isEmpty());
    EXPECT_EQ(v.MarkStart(), 500);
    EXPECT_EQ(v.MarkEnd(), 1500);
    EXPECT_EQ(mark.count(), 0);
}

TEST_F(PeakRegionViewerTest, refusedJsonKeepsTheRegionsAndGoodJsonReplacesThem)
{
    const QString first = v.AddRegion(Region(1.0, 2.0));
    QSignalSpy added(&v, &TKXCustomPeakViewer::regionAdded);
    QSignalSpy removed(&v, &TKXCustomPeakViewer::regionRemoved);
    QSignalSpy pointAdded(&v, &TKXCustomPeakViewer::pointAdded);
    QString why;
    EXPECT_FALSE(v.LoadRegionsJson(R"({"segments": [{"startTime": 2, "endTime": 1}]})", &why));
    EXPECT_TRUE(why.contains("before")) << why.toStdString();
    EXPECT_EQ(v.RegionSet().Regions().size(), 1u);
    EXPECT_EQ(added.count() + removed.count(), 0);
    const QImage before = v.BufferImage().copy();
    EXPECT_TRUE(v.LoadRegionsJson(R"({"segments": [{"id": "a", "startTime": 0.5, "endTime": 1},
        {"id": "b", "startTime": 2, "endTime": 3}], "points": [{"id": "c", "time": 1.5}]})", &why));
    EXPECT_EQ(Ids(removed), QStringList({first}));
    EXPECT_EQ(Ids(added), QStringList({"a", "b"}));
    EXPECT_EQ(Ids(pointAdded), QStringList({"c"}));
    EXPECT_NE(v.BufferImage(), before);
}

TEST_F(PeakRegionViewerTest, savingNeverReplacesThePeakFileOrAReadOnlyFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString peaks = dir.filePath("a.pek");
    ASSERT_TRUE(Write(peaks, Stereo16(8000, 80, 60, Constant(49152, 16384))));
    v.SetPeaksFileName(peaks);
    ASSERT_EQ(v.PeaksFileName(), peaks);
    PeakRegion r = Region(1.0, 2.0);
    r.Label = QStringLiteral("Verse");
    v.AddRegion(r);
    const auto contents = [](const QString& name) {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray peakBytes = contents(peaks);
    QString why;
    EXPECT_FALSE(v.SaveRegionsFile(peaks, &why));
    EXPECT_FALSE(why.isEmpty());
    const QString link = dir.filePath("link.json");
    ASSERT_TRUE(QFile::link(peaks, link));
    EXPECT_FALSE(v.SaveRegionsFile(link, &why));
    EXPECT_EQ(contents(peaks), peakBytes);

    const QString notes = dir.filePath("notes.json");
    ASSERT_TRUE(Write(notes, {'h', 'i'}));
    EXPECT_FALSE(v.SaveRegionsFile(notes, &why));
    EXPECT_EQ(contents(notes), "hi");

    const QString saved = dir.filePath("regions.json");
    ASSERT_TRUE(v.SaveRegionsFile(saved, &why)) << why.toStdString();
    EXPECT_TRUE(v.SaveRegionsFile(saved, &why)) << why.toStdString();  // its own kind is replaced
    ASSERT_TRUE(QFile::setPermissions(saved, QFile::ReadOwner | QFile::ReadGroup));
    v.AddRegion(Region(3.0, 4.0));
    EXPECT_FALSE(v.SaveRegionsFile(saved, &why));
    EXPECT_TRUE(why.contains("read-only")) << why.toStdString();

    TKXAudioPeakViewer other;
    ASSERT_TRUE(other.LoadRegionsFile(saved, &why)) << why.toStdString();
    ASSERT_EQ(other.RegionSet().Regions().size(), 1u);
    EXPECT_EQ(other.RegionSet().Regions()[0].Label, "Verse");
    EXPECT_FALSE(other.LoadRegionsFile(dir.filePath("missing.json"), &why));
}

} // namespace

} // namespace kx
