// The web example in a real browser: peaks.js loads the waveform data that
// peaktool exports and draws it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <unistd.h>

#include "peaks/WaveformData.h"
#include "tests/support/TestMedia.h"

#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Peaktool(const QStringList& args)
{
    return RunTool(QStringLiteral(PEAKTOOL), args);
}

// "Name: value" lines of peaktool info.
QString InfoField(const QString& info, const QString& name)
{
    for (const QString& line : info.split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2);
    return {};
}

// "(r,g,b,a)" of a colour the page read back.
QString Rgba(const QJsonArray& c)
{
    return QStringLiteral("(%1,%2,%3,%4)").arg(c[0].toInt()).arg(c[1].toInt()).arg(c[2].toInt()).arg(c[3].toInt());
}

QString Chromium()
{
    for (const char* name : {"chromium", "chromium-browser"})
        if (const QString path = QStandardPaths::findExecutable(QLatin1String(name)); !path.isEmpty())
            return path;
    return {};
}

// Serves the page for the media and data, opens it in headless Chromium and
// gives what the page reported (empty on a time-out).
QJsonObject OpenPage(const QString& media, const QString& data, QString& diagnostics)
{
    QProcess server;
    server.start(QStringLiteral("node"), {QStringLiteral(WEB_EXAMPLE_DIR "/serve.js"), "--once", "--media", media,
                                          "--data", data, "--modules", QStringLiteral(WEB_MODULES_DIR)});
    QByteArray out;
    while (!out.contains('\n') && server.waitForReadyRead(20000))
        out += server.readAllStandardOutput();
    const QString url = QString::fromUtf8(out.left(out.indexOf('\n')));
    if (!url.startsWith("http://127.0.0.1:")) {
        diagnostics = "server did not start: " + QString::fromUtf8(out + server.readAllStandardError());
        return {};
    }
    QTemporaryDir profile;
    QProcess browser;
    browser.setProcessChannelMode(QProcess::MergedChannels);
    // In a process group of its own, so that its helpers end with it and
    // write nothing into the profile once it is removed.
    browser.setChildProcessModifier([] { setpgid(0, 0); });
    browser.start(Chromium(), {"--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-dev-shm-usage",
                               "--user-data-dir=" + profile.path(), url});
    // The server exits once the page has posted its result.
    const bool reported = server.waitForFinished(60000);
    const pid_t group = pid_t(browser.processId());
    if (group > 0)
        ::kill(-group, SIGTERM);
    if (!browser.waitForFinished(10000)) {
        browser.kill();
        browser.waitForFinished(5000);
    }
    // The group is gone once its last helper has exited.
    for (int i = 0; group > 0 && i < 500 && ::kill(-group, 0) == 0; ++i) {
        if (i == 250)
            ::kill(-group, SIGKILL);
        QThread::msleep(10);
    }
    if (!reported) {
        server.kill();
        server.waitForFinished(5000);
    }
    out += server.readAllStandardOutput();
    for (const QByteArray& line : out.split('\n'))
        if (line.startsWith("report "))
            return QJsonDocument::fromJson(line.mid(7)).object();
    diagnostics = "no report from the page; browser said: " + QString::fromUtf8(browser.readAll().right(2000));
    return {};
}

} // namespace

// Skips when a piece is missing, unless KX_REQUIRE_BROWSER is set (CI).
#define KX_NEED(condition, why)                                                                                        \
    if (!(condition)) {                                                                                                \
        if (qEnvironmentVariableIsSet("KX_REQUIRE_BROWSER"))                                                           \
            FAIL() << why;                                                                                             \
        GTEST_SKIP() << why;                                                                                           \
    }

TEST(WebViewer, peaksJsLoadsAndDrawsExportedWaveformData)
{
    KX_NEED(!QStandardPaths::findExecutable("node").isEmpty(),
            "Node.js is not installed (Debian packages nodejs and npm); scripts/setup installs it");
    KX_NEED(!Chromium().isEmpty(), "Chromium is not installed (Debian package chromium); scripts/setup installs it");
    KX_NEED(QFileInfo::exists(WEB_MODULES_DIR "/peaks.js/dist/peaks.js"),
            "peaks.js is not installed in " WEB_MODULES_DIR "; scripts/setup installs it with npm ci");

    QTemporaryDir dir;
    const QString wav = dir.filePath("tone.wav");
    // Two seconds and a bit, so the last pixel is a partial one.
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100 * 2 + 300}, TestMedia::Sine(220, 0.7, 44100)));
    // peaks.js draws 8-bit data only.
    ToolRun r = Peaktool({"build", "--no-progress", "--rate", "44100", "--bits", "8", "--samples-per-peak", "256", wav});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString pek = dir.filePath("tone.pek");
    r = Peaktool({"info", pek});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const int records = InfoField(r.out, "Records").toInt();
    const int durationMs = InfoField(r.out, "DurationMs").toInt();
    ASSERT_EQ(records, (44100 * 2 + 300 + 255) / 256);

    for (const QString format : {"dat", "json"}) {
        SCOPED_TRACE(format.toStdString());
        const QString data = dir.filePath("tone." + format);
        r = Peaktool({"export", pek, "--format", format, "-o", data});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        QFile file(data);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QString error;
        const auto exported = DecodeWaveform(
            std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())), error);
        ASSERT_TRUE(exported) << error.toStdString();

        QString diagnostics;
        const QJsonObject page = OpenPage(wav, data, diagnostics);
        ASSERT_FALSE(page.isEmpty()) << diagnostics.toStdString();
        ASSERT_EQ(page["state"].toString(), "ready") << page["message"].toString().toStdString();

        // Loaded: the viewer holds as many pixels as the peak file has
        // records, and both durations agree with the peak file's.
        EXPECT_EQ(page["length"].toInt(), records);
        EXPECT_EQ(page["channels"].toInt(), 2);
        EXPECT_EQ(page["sampleRate"].toInt(), 44100);
        EXPECT_EQ(page["samplesPerPixel"].toInt(), 256);
        EXPECT_NEAR(page["mediaDuration"].toDouble() * 1000, durationMs, 1.0);
        // Whole pixels: at most one pixel longer than the track.
        EXPECT_GE(page["dataDuration"].toDouble() * 1000, durationMs - 1.0);
        EXPECT_LE(page["dataDuration"].toDouble() * 1000, durationMs + 256 * 1000.0 / 44100);
        EXPECT_EQ(page["firstMin"].toInt(), exported->Values[0]);
        EXPECT_EQ(page["firstMax"].toInt(), exported->Values[1]);

        // Drawn: the middle of the first channel's band is the waveform
        // colour, its top edge (above a 0.7 sine) is not.
        const QJsonObject view = page["zoomview"].toObject();
        const QJsonArray rgb = page["waveformColor"].toArray();
        const QString opaque = Rgba({rgb[0], rgb[1], rgb[2], 255});
        EXPECT_EQ(Rgba(view["middle"].toArray()), opaque);
        EXPECT_NE(Rgba(view["top"].toArray()), opaque);
        EXPECT_GT(view["count"].toInt(), 0);
    }
}

} // namespace kx
