#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace kx {

namespace {

QString Output(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(PEAKTOOL), args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

// The manual page documents every command and option that --help lists, in
// a form groff reads without a warning.
TEST(PeakToolManPage, coversEveryCommandAndOptionAndIsValidRoff)
{
    const QString page = Output({"--man"});
    ASSERT_TRUE(page.startsWith(".TH PEAKTOOL 1")) << page.left(200).toStdString();
    const QString help = Output({"--help"});
    const QRegularExpression commandLine(QStringLiteral("^  ([a-z]+) "), QRegularExpression::MultilineOption);
    int commands = 0;
    for (auto it = commandLine.globalMatch(help); it.hasNext(); ++commands) {
        const QString command = it.next().captured(1);
        EXPECT_TRUE(page.contains(QStringLiteral(".SS \"%1 ").arg(command))) << command.toStdString();
        const QRegularExpression option(QStringLiteral("--([a-z][a-z-]*)"));
        for (auto o = option.globalMatch(Output({command, "--help"})); o.hasNext();) {
            QString escaped = o.next().captured(0);
            escaped.replace('-', "\\-");
            EXPECT_TRUE(page.contains(escaped)) << command.toStdString() << " " << escaped.toStdString();
        }
    }
    EXPECT_GE(commands, 5);

    const QString groff = QStandardPaths::findExecutable("groff");
    if (groff.isEmpty())
        GTEST_SKIP() << "groff is not installed";
    QProcess p;
    p.start(groff, {"-man", "-Tutf8", "-ww", "-z"});
    p.write(page.toUtf8());
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()), QString());
}

} // namespace kx
