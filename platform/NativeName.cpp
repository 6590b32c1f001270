#include "NativeName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kx {

namespace {

constexpr char16_t EscapeBase = 0xDC00;
constexpr char16_t FirstEscape = 0xDC80, LastEscape = 0xDCFF;

// The code point of one valid UTF-8 sequence at p[0..n), and its length; 0
// when the bytes there are not one (overlong forms, surrogates and code
// points past U+10FFFF included).
int DecodeOne(const uint8_t* p, qsizetype n, char32_t& cp)
{
    const uint8_t b = p[0];
    int length = 0;
    uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        cp = b & 0x0Fu;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        cp = b & 0x07u;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || n < length)
        return 0;
    for (int k = 1; k < length; ++k) {
        const uint8_t c = p[k];
        if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF))
            return 0;
        cp = cp << 6 | (c & 0x3Fu);
    }
    return length;
}

void AppendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

QString DecodeNativeName(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const qsizetype n = bytes.size();
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            out += QChar(char16_t(p[i++]));
            continue;
        }
        char32_t cp = 0;
        const int length = DecodeOne(p + i, n - i, cp);
        if (length == 0) {
            // Each byte of a broken sequence is escaped on its own, so that
            // the next valid sequence starts where it does in the bytes.
            out += QChar(char16_t(EscapeBase + p[i++]));
            continue;
        }
        if (QChar::requiresSurrogates(cp)) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(char16_t(cp));
        }
        i += length;
    }
    return out;
}

QByteArray EncodeNativeName(QStringView name)
{
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), name[++i].unicode());
        } else if (c >= FirstEscape && c <= LastEscape) {
            out += char(c - EscapeBase);
            continue;
        } else if (QChar::isSurrogate(c)) {
            c = QChar::ReplacementCharacter;
        }
        AppendUtf8(out, c);
    }
    return out;
}

bool HasRawBytes(QStringView name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i;
        else if (c >= FirstEscape && c <= LastEscape)
            return true;
    }
    return false;
}

QString AbsoluteNativeName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return name.isEmpty() ? name : QDir::cleanPath(name);
    const std::unique_ptr<char, decltype(&std::free)> here(getcwd(nullptr, 0), &std::free);
    if (!here)
        return QFileInfo(name).absoluteFilePath();
    return QDir::cleanPath(DecodeNativeName(here.get()) + QLatin1Char('/') + name);
}

NativeFileStatus StatNative(const QString& name)
{
    NativeFileStatus s;
    struct stat st {};
    if (stat(EncodeNativeName(name).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.isFile = S_ISREG(st.st_mode);
    s.isDir = S_ISDIR(st.st_mode);
    s.size = int64_t(st.st_size);
    s.modifiedMs = int64_t(st.st_mtim.tv_sec) * 1000 + int64_t(st.st_mtim.tv_nsec) / 1000000;
    return s;
}

int OpenNative(const QString& name, int flags, mode_t mode)
{
    return open(EncodeNativeName(name).constData(), flags | O_CLOEXEC, mode);
}

int OpenNativeRegular(const QString& name, uint64_t& size)
{
    const int fd = OpenNative(name, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    size = uint64_t(st.st_size);
    return fd;
}

size_t ReadNativeAt(int fd, uint64_t offset, uint8_t* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, buffer + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return done;
}

bool OpenNativeFile(QFile& file, const QString& name, QIODevice::OpenMode mode)
{
    const bool reads = mode.testFlag(QIODevice::ReadOnly), writes = mode.testFlag(QIODevice::WriteOnly);
    int flags = reads && writes ? O_RDWR | O_CREAT : writes ? O_WRONLY | O_CREAT : O_RDONLY;
    if (writes && (mode.testFlag(QIODevice::Truncate) || !(mode & (QIODevice::Append | QIODevice::ReadOnly))))
        flags |= O_TRUNC;
    if (mode.testFlag(QIODevice::Append))
        flags |= O_APPEND;
    const int fd = OpenNative(name, flags);
    if (fd < 0)
        return false;
    struct stat st {};
    int err = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err == 0 && !file.open(fd, mode & ~QIODevice::Truncate, QFileDevice::AutoCloseHandle))
        err = EIO;
    if (err != 0) {
        close(fd);
        errno = err;
        return false;
    }
    return true;
}

} // namespace kx
