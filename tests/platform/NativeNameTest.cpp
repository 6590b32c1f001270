#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/NativeName.h"
#include "platform/OutputFile.h"
#include "tests/support/RawNameFolder.h"

namespace kx {

namespace {

QString Escape(uint8_t byte)
{
    return QString(QChar(char16_t(0xDC00 + byte)));
}

// Entries in a folder other than . and .., counted by bytes (Qt skips names it cannot spell).
int EntryCount(const QByteArray& folder)
{
    DIR* dir = opendir(folder.constData());
    int count = 0;
    while (const dirent* entry = dir ? readdir(dir) : nullptr)
        count += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
    if (dir)
        closedir(dir);
    return count;
}

std::string Hex(const QByteArray& bytes)
{
    return bytes.toHex(' ').toStdString();
}

} // namespace

TEST(NativeName, everyByteStringSurvivesTheRoundTrip)
{
    for (int b = 1; b < 256; ++b) {
        const QByteArray one(1, char(b));
        EXPECT_EQ(EncodeNativeName(DecodeNativeName(one)), one) << b;
    }
    // Every pair of high bytes: broken and valid two-byte sequences alike.
    for (int a = 0x80; a < 256; ++a)
        for (int b = 0x80; b < 256; ++b) {
            const QByteArray two{char(a), char(b)};
            ASSERT_EQ(EncodeNativeName(DecodeNativeName(two)), two) << Hex(two);
        }
    // Longer mixtures, from a fixed seed, weighted towards bytes that start
    // or continue multi-byte sequences.
    QRandomGenerator random(20261208);
    static const uint8_t alphabet[] = {'a', '/', '.', 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2, 0xDF,
                                       0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    for (int i = 0; i < 20000; ++i) {
        QByteArray bytes;
        for (int n = int(random.bounded(10)); n > 0; --n)
            bytes += char(alphabet[random.bounded(int(sizeof alphabet))]);
        ASSERT_EQ(EncodeNativeName(DecodeNativeName(bytes)), bytes) << Hex(bytes);
    }
}

TEST(NativeName, validUtf8DecodesAsQtDecodesIt)
{
    for (const char* text : {"plain.wav", "caf\xc3\xa9.flac", "\xe6\x97\xa5\xe6\x9c\xac.mp3",
                             "\xf0\x9f\x8e\xb5 tune.ogg", "\xef\xbf\xbd.wav", "\xed\x9f\xbf", "\xee\x80\x80"}) {
        const QByteArray bytes(text);
        EXPECT_EQ(DecodeNativeName(bytes), QString::fromUtf8(bytes)) << Hex(bytes);
        EXPECT_FALSE(HasRawBytes(DecodeNativeName(bytes))) << Hex(bytes);
        EXPECT_EQ(EncodeNativeName(QString::fromUtf8(bytes)), bytes) << Hex(bytes);
    }
}

TEST(NativeName, aLeadingByteOrderMarkIsKept)
{
    // Qt's own UTF-8 decoding drops it, which would name another file.
    const QByteArray bytes("\xef\xbb\xbf" "take.wav");
    const QString name = DecodeNativeName(bytes);
    EXPECT_EQ(name, QChar(0xFEFF) + QStringLiteral("take.wav"));
    EXPECT_FALSE(HasRawBytes(name));
    EXPECT_EQ(EncodeNativeName(name), bytes);
    EXPECT_EQ(EncodeNativeName(DecodeNativeName(bytes.left(2)) + DecodeNativeName(bytes.mid(2))), bytes);
}

TEST(NativeName, bytesOutsideUtf8AreEscapedOneByOne)
{
    EXPECT_EQ(DecodeNativeName("caf\xe9.flac"), QStringLiteral("caf") + Escape(0xE9) + QStringLiteral(".flac"));
    // A sequence cut short: each of its bytes on its own, and the next
    // character is read where it starts.
    EXPECT_EQ(DecodeNativeName("\xe2\x82" "A"), Escape(0xE2) + Escape(0x82) + QStringLiteral("A"));
    // Overlong forms, UTF-8 spellings of surrogates, and past U+10FFFF.
    for (const char* bad : {"\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xed\xb3\xbf", "\xf4\x90\x80\x80",
                            "\xf5\x80\x80\x80"}) {
        const QByteArray bytes(bad);
        QString expected;
        for (const char c : bytes)
            expected += Escape(uint8_t(c));
        EXPECT_EQ(DecodeNativeName(bytes), expected) << Hex(bytes);
        EXPECT_TRUE(HasRawBytes(DecodeNativeName(bytes)));
    }
}

TEST(NativeName, textThatLooksLikeAnEscapeNeverMeetsTheByte)
{
    // The UTF-8 spelling of U+DCFF must not decode to the escape of 0xFF,
    // or two different files would get one name.
    EXPECT_NE(DecodeNativeName("\xed\xb3\xbf"), DecodeNativeName("\xff"));
    EXPECT_EQ(EncodeNativeName(DecodeNativeName("\xed\xb3\xbf")), QByteArray("\xed\xb3\xbf"));
    // Surrogates no decoding makes are written as U+FFFD, never as raw bytes.
    const QByteArray replacement("\xef\xbf\xbd");
    EXPECT_EQ(EncodeNativeName(QString(QChar(char16_t(0xD800)))), replacement);
    EXPECT_EQ(EncodeNativeName(QString(QChar(char16_t(0xDC41)))), replacement);
    EXPECT_EQ(EncodeNativeName(QString(QChar(char16_t(0xD83C))) + Escape(0x80)),
              QByteArray("\xf0\x9f\x82\x80"));  // U+1F080: a whole pair, not a raw byte
}

class NativeFiles : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir_.IsValid()); }
    QString Named(const char* bytes) const { return DecodeNativeName(dir_.Name(bytes)); }
    static QByteArray Native(const QString& name) { return EncodeNativeName(name); }

    RawNameFolder dir_;
};

TEST_F(NativeFiles, writeStatAndReadUnderRawBytes)
{
    const QString name = Named("\xff\xfe-x.wav");
    QString error;
    ASSERT_TRUE(WriteOutputFile(name, {}, {"RIFF", QByteArrayView("data", 4)}, error)) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(stat(Native(name).constData(), &st), 0) << "not written under its own bytes";
    EXPECT_EQ(st.st_size, 8);

    const NativeFileStatus s = StatNative(name);
    EXPECT_TRUE(s.exists && s.isFile && !s.isDir);
    EXPECT_EQ(s.size, 8);
    EXPECT_EQ(s.modifiedMs, int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
    EXPECT_FALSE(StatNative(Named("\xff\xfe-y.wav")).exists);

    QFile file;
    ASSERT_TRUE(OpenNativeFile(file, name, QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("RIFFdata"));
    file.close();
    // Opening for writing truncates, as QFile does.
    ASSERT_TRUE(OpenNativeFile(file, name, QIODevice::WriteOnly));
    file.write("x");
    file.close();
    EXPECT_EQ(StatNative(name).size, 1);

    const int fd = OpenNative(name, O_RDONLY);
    EXPECT_GE(fd, 0);
    close(fd);
}

// Waveform data replaces waveform data: contents the output rules let through.
const OutputRules Json{FileKind::WaveformJson, false, false, {}};
constexpr const char* OldJson = "{\"sample_rate\":1}";

TEST_F(NativeFiles, replacingKeepsPermissionsAndFailuresLeaveNothing)
{
    const QString name = Named("caf\xe9.json");
    QString error;
    ASSERT_TRUE(WriteOutputFile(name, Json, {OldJson}, error));
    ASSERT_EQ(chmod(Native(name).constData(), 0640), 0);
    ASSERT_TRUE(WriteOutputFile(name, Json, {"{\"sample_rate\":2}"}, error)) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(stat(Native(name).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    QFile file;
    ASSERT_TRUE(OpenNativeFile(file, name, QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("{\"sample_rate\":2}"));

    // A folder under the name: refused by both, and no temporary file stays.
    const QString folder = Named("\xe9t\xe9");
    ASSERT_EQ(mkdir(Native(folder).constData(), 0755), 0);
    EXPECT_FALSE(WriteOutputFile(folder, Json, {"x"}, error));
    EXPECT_FALSE(error.isEmpty());
    QFile other;
    EXPECT_FALSE(OpenNativeFile(other, folder, QIODevice::ReadOnly));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_TRUE(StatNative(folder).isDir);
    EXPECT_FALSE(WriteOutputFile(Named("missing\xff/a.json"), Json, {"x"}, error));
    EXPECT_EQ(EntryCount(dir_.Path()), 2);
}

TEST_F(NativeFiles, aReplacementWrittenInPartsShowsOnlyWhenCommitted)
{
    const QString name = Named("out\xff.json");
    QString error;
    ASSERT_TRUE(WriteOutputFile(name, Json, {OldJson}, error));
    {
        OutputFile file;
        ASSERT_TRUE(file.Open(name, Json));
        ASSERT_TRUE(file.Write(QByteArrayView("new ")));
        ASSERT_TRUE(file.Write(QByteArrayView("parts")));
        EXPECT_EQ(EntryCount(dir_.Path()), 2);
        QFile now;
        ASSERT_TRUE(OpenNativeFile(now, name, QIODevice::ReadOnly));
        EXPECT_EQ(now.readAll(), QByteArray(OldJson));
        // Dropped without a commit: the old contents stay, the parts go.
    }
    EXPECT_EQ(EntryCount(dir_.Path()), 1);
    OutputFile file;
    ASSERT_TRUE(file.Open(name, Json));
    ASSERT_TRUE(file.Write(QByteArrayView("new ")));
    ASSERT_TRUE(file.Write(QByteArrayView("parts")));
    ASSERT_TRUE(file.Commit()) << file.ErrorText().toStdString();
    QFile now;
    ASSERT_TRUE(OpenNativeFile(now, name, QIODevice::ReadOnly));
    EXPECT_EQ(now.readAll(), QByteArray("new parts"));
    EXPECT_EQ(EntryCount(dir_.Path()), 1);
}

TEST_F(NativeFiles, relativeNamesTakeTheWorkingFoldersOwnBytes)
{
    const QByteArray folder = dir_.Name("d\xe9");
    ASSERT_EQ(mkdir(folder.constData(), 0755), 0);
    const std::unique_ptr<char, decltype(&std::free)> before(getcwd(nullptr, 0), &std::free);
    ASSERT_EQ(chdir(folder.constData()), 0);
    const QString absolute = AbsoluteNativeName(DecodeNativeName("./x/../caf\xe9.flac"));
    ASSERT_EQ(chdir(before.get()), 0);
    EXPECT_EQ(EncodeNativeName(absolute), folder + "/caf\xe9.flac");
    EXPECT_EQ(AbsoluteNativeName(QStringLiteral("/a//b/./c")), QStringLiteral("/a/b/c"));
    EXPECT_EQ(AbsoluteNativeName(QString()), QString());
}

} // namespace kx
