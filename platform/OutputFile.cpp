#include "OutputFile.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "NativeName.h"

namespace kx {

namespace {

// Attempts at a free random temporary name before giving up.
constexpr int NameAttempts = 64;
constexpr int TagLength = 8;

QString ErrnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray RandomTag()
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray tag;
    for (int i = 0; i < TagLength; ++i)
        tag += digits[QRandomGenerator::global()->bounded(int(sizeof digits - 1))];
    return tag;
}

QByteArray FolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// Holds an advisory lock on a folder for its lifetime. Commits into one
// folder take turns; a file system without locks just goes without.
class FolderLock
{
public:
    explicit FolderLock(const QByteArray& folder) : fd_(open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_ >= 0)
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (fd_ >= 0)
            close(fd_);  // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// Removes the temporary files of earlier writers of target that have gone
// (killed, crashed): a live writer holds a lock on its file, so a file that
// can be locked has no writer. Only this user's regular files are touched.
// Runs under the folder lock, which writers also hold from creating their
// file until they have locked it.
void RemoveAbandonedTemporaries(const QByteArray& target, const QByteArray& own)
{
    const QByteArray folder = FolderOf(target);
    const QByteArray prefix = target.mid(target.lastIndexOf('/') + 1) + '.';
    const auto closeDir = [](DIR* d) { closedir(d); };
    const std::unique_ptr<DIR, decltype(closeDir)> dir(opendir(folder.constData()), closeDir);
    if (!dir)
        return;
    const qsizetype length = prefix.size() + TagLength + qsizetype(std::strlen(PartialSuffix));
    std::vector<QByteArray> paths;
    while (const dirent* entry = readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        const QByteArray path = folder + '/' + name;
        if (name.size() == length && name.startsWith(prefix) && name.endsWith(PartialSuffix) && path != own)
            paths.push_back(path);
    }
    for (const QByteArray& local : paths) {
        const int fd = open(local.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {}, named {};
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == geteuid() &&
            flock(fd, LOCK_EX | LOCK_NB) == 0 && lstat(local.constData(), &named) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            unlink(local.constData());
        close(fd);
    }
}

bool IsInput(const struct stat& st, const OutputRules& rules)
{
    const FileIdentity id{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    for (const FileIdentity& input : rules.inputs)
        if (input == id)
            return true;
    return false;
}

bool ReadOnly(const QByteArray& path, const struct stat& st)
{
    // Root may write anything: a file without write permission is read-only all the same.
    if (geteuid() == 0)
        return (st.st_mode & 0222) == 0;
    return faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0;
}

bool Forceable(FileKind kind)
{
    return kind == FileKind::BuilderPeaks || kind == FileKind::WaveViewerPeaks || kind == FileKind::WaveformDat ||
           kind == FileKind::WaveformJson;
}

// The descriptor an open-stream name stands for, or -1.
int StreamDescriptor(const QString& name)
{
    if (name == QLatin1String("-") || name == QLatin1String("/dev/stdout"))
        return STDOUT_FILENO;
    if (name == QLatin1String("/dev/stderr"))
        return STDERR_FILENO;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!name.startsWith(QLatin1String(prefix)))
            continue;
        bool ok = false;
        const int fd = name.mid(qsizetype(std::strlen(prefix))).toInt(&ok);
        return ok && fd >= 0 ? fd : -1;
    }
    return -1;
}

enum class Target { Refused, Missing, Regular, Stream };

struct Verdict {
    Target target = Target::Refused;
    QString refusal;
    mode_t keepMode = 0;  // of a regular file replaced under its own name
    bool socket = false;
    bool replacing = false;  // an existing file with contents goes
};

Verdict Refuse(const QString& why)
{
    Verdict v;
    v.refusal = why;
    return v;
}

// What may be done to the target; the refusal says why not.
Verdict Judge(const QByteArray& path, const OutputRules& rules)
{
    struct stat st {};
    if (stat(path.constData(), &st) != 0) {
        // Nothing there, or a link that leads nowhere: the name is replaced.
        if (errno == ENOENT) {
            Verdict v;
            v.target = Target::Missing;
            return v;
        }
        return Refuse(ErrnoText(errno));
    }
    if (IsInput(st, rules))
        return Refuse(QStringLiteral("would replace the input it is made from"));
    if (S_ISDIR(st.st_mode))
        return Refuse(QStringLiteral("is a folder"));
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        if (rules.needsSeek && !S_ISCHR(st.st_mode))
            return Refuse(QStringLiteral("is a FIFO or socket, and this file's header is written last"));
        Verdict v;
        v.target = Target::Stream;
        v.socket = S_ISSOCK(st.st_mode);
        return v;
    }
    if (!S_ISREG(st.st_mode))
        return Refuse(QStringLiteral("is not a regular file, a character device, a FIFO or a socket"));
    if (ReadOnly(path, st))
        return Refuse(QStringLiteral("is read-only"));
    uint8_t head[FileKindHeadSize];
    ssize_t got = 0;
    if (st.st_size > 0) {
        const int fd = open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return Refuse(QStringLiteral("cannot be read to tell what it holds: %1").arg(ErrnoText(errno)));
        do
            got = pread(fd, head, sizeof head, 0);
        while (got < 0 && errno == EINTR);
        const int err = errno;
        close(fd);
        if (got < 0)
            return Refuse(QStringLiteral("cannot be read to tell what it holds: %1").arg(ErrnoText(err)));
    }
    const FileKind found = DetectFileKind(std::span<const uint8_t>(head, size_t(got)), uint64_t(st.st_size));
    if (!KindMayReplace(rules.kind, found, rules.force)) {
        if (Forceable(rules.kind) && Forceable(found))
            return Refuse(QStringLiteral("holds %1, which is kept unless forced (--force)").arg(FileKindText(found)));
        // Writing a kind over itself is refused only where the kind is media.
        if (found == rules.kind)
            return Refuse(QStringLiteral("holds %1, which may be media and is never replaced").arg(FileKindText(found)));
        return Refuse(QStringLiteral("holds %1, not %2; it is kept").arg(FileKindText(found), FileKindText(rules.kind)));
    }
    Verdict v;
    v.target = Target::Regular;
    v.replacing = st.st_size > 0;
    struct stat own {};
    if (lstat(path.constData(), &own) == 0 && S_ISREG(own.st_mode))
        v.keepMode = own.st_mode & 07777;
    return v;
}

int ConnectSocket(const QByteArray& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

} // namespace

std::optional<FileIdentity> IdentityOf(const QString& name)
{
    struct stat st {};
    if (stat(EncodeNativeName(name).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

std::optional<FileKind> KindOfFile(const QString& name)
{
    uint64_t size = 0;
    const int fd = OpenNativeRegular(name, size);
    if (fd < 0)
        return std::nullopt;
    uint8_t head[FileKindHeadSize];
    const size_t got = ReadNativeAt(fd, 0, head, sizeof head);
    close(fd);
    return DetectFileKind(std::span<const uint8_t>(head, got), size);
}

OutputRules& OutputRules::Input(const QString& name)
{
    if (const auto id = IdentityOf(name))
        inputs.push_back(*id);
    return *this;
}

bool KindMayReplace(FileKind written, FileKind found, bool force)
{
    if (found == FileKind::Empty)
        return true;
    // Media is never replaced, not even by media.
    if (found == FileKind::Other || found == FileKind::Wav)
        return false;
    if (found == written)
        return true;
    return force && Forceable(written) && Forceable(found);
}

OutputFile::~OutputFile()
{
    Abandon();
}

bool OutputFile::Fail(const QString& what, int err)
{
    error_ = err ? QStringLiteral("%1: %2").arg(what, ErrnoText(err)) : what;
    Abandon();
    return false;
}

bool OutputFile::Open(const QString& name, const OutputRules& rules)
{
    Abandon();
    committed_ = false;
    direct_ = false;
    error_.clear();
    size_ = 0;
    keepMode_ = 0;
    replacing_ = false;
    name_ = name;
    rules_ = rules;
    if (const int stream = StreamDescriptor(name); stream >= 0) {
        if (stream == STDOUT_FILENO)
            std::fflush(stdout);  // lines printed before come first
        const int fd = fcntl(stream, F_DUPFD_CLOEXEC, 3);
        if (fd < 0)
            return Fail(QStringLiteral("is not open"), errno);
        return OpenDirect(fd);
    }
    const QByteArray path = EncodeNativeName(name);
    const Verdict verdict = Judge(path, rules);
    if (verdict.target == Target::Refused) {
        error_ = verdict.refusal;
        return false;
    }
    if (verdict.target == Target::Stream) {
        // Links are followed here: the user named the device.
        const int fd = verdict.socket ? ConnectSocket(path)
                                      : open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return Fail(QStringLiteral("cannot be opened"), errno);
        return OpenDirect(fd);
    }
    const FolderLock folder(FolderOf(path));
    for (int i = 0; i < NameAttempts; ++i) {
        const QByteArray temp = path + '.' + RandomTag() + PartialSuffix;
        const int fd = open(temp.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            tempName_ = DecodeNativeName(temp);
            // Held until the file is closed: it tells later writers that
            // this one is alive.
            while (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EINTR) {
            }
            RemoveAbandonedTemporaries(path, temp);
            keepMode_ = verdict.keepMode;
            replacing_ = verdict.replacing;
            if (keepMode_ != 0 && fchmod(fd_, keepMode_) != 0)
                return Fail(QStringLiteral("cannot keep the permissions"), errno);
            return true;
        }
        if (errno != EEXIST)
            return Fail(QStringLiteral("cannot create a file in %1").arg(DecodeNativeName(FolderOf(path))), errno);
    }
    error_ = QStringLiteral("no free temporary name beside it");
    return false;
}

bool OutputFile::OpenDirect(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        close(fd);
        return Fail(QStringLiteral("cannot be checked"), err);
    }
    fd_ = fd;
    direct_ = true;
    if (IsInput(st, rules_))
        return Fail(QStringLiteral("would replace the input it is made from"), 0);
    if (S_ISDIR(st.st_mode))
        return Fail(QStringLiteral("is a folder"), 0);
    if (rules_.needsSeek && lseek(fd, 0, SEEK_CUR) < 0)
        return Fail(QStringLiteral("cannot seek, and this file's header is written last"), 0);
    return true;
}

bool OutputFile::Write(const void* data, size_t size)
{
    return WriteAt(size_, data, size);
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    if (fd_ < 0)
        return false;
    const auto* p = static_cast<const uint8_t*>(data);
    // A stream goes forward only; a device that seeks takes offsets too.
    const bool forward = direct_ && offset == size_;
    uint64_t at = offset;
    for (size_t left = size; left > 0;) {
        const ssize_t n = forward ? write(fd_, p, left) : pwrite(fd_, p, left, off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = QStringLiteral("cannot be written: %1").arg(ErrnoText(n == 0 ? EIO : errno));
            return false;
        }
        p += n;
        left -= size_t(n);
        at += uint64_t(n);
    }
    size_ = std::max(size_, offset + size);
    return true;
}

bool OutputFile::Commit()
{
    if (fd_ < 0)
        return false;
    if (direct_) {
        const int fd = fd_;
        fd_ = -1;
        direct_ = false;
        if (close(fd) != 0 && errno != EINTR) {
            error_ = QStringLiteral("cannot be written: %1").arg(ErrnoText(errno));
            return false;
        }
        committed_ = true;
        return true;
    }
    const QByteArray path = EncodeNativeName(name_);
    // A file with contents is replaced only by data that reached the disk.
    if (replacing_ && fdatasync(fd_) != 0)
        return Fail(QStringLiteral("cannot be written"), errno);
    struct stat st {};
    if (fstat(fd_, &st) != 0)
        return Fail(QStringLiteral("cannot be checked"), errno);
    // The folder lock is taken before closing releases the file's own lock:
    // in between, another writer would take the file for abandoned and remove it.
    const FolderLock lock(FolderOf(path));
    // Whatever took the name since Open is judged again.
    const Verdict now = Judge(path, rules_);
    if (now.target == Target::Refused)
        return Fail(now.refusal, 0);
    if (now.target == Target::Stream)
        return Fail(QStringLiteral("became a device, FIFO or socket while it was written"), 0);
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0)
        return Fail(QStringLiteral("cannot be written"), errno);
    // rename() replaces the name itself, never what a link there leads to.
    if (rename(EncodeNativeName(tempName_).constData(), path.constData()) != 0)
        return Fail(QStringLiteral("cannot be put in place"), errno);
    committed_ = true;
    committedId_ = FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    tempName_.clear();
    return true;
}

void OutputFile::Abandon()
{
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!tempName_.isEmpty()) {
        unlink(EncodeNativeName(tempName_).constData());
        tempName_.clear();
    }
}

bool OutputFile::RemoveCommitted()
{
    if (!committed_ || committedId_ == FileIdentity{})
        return false;
    committed_ = false;
    const QByteArray path = EncodeNativeName(name_);
    const FolderLock lock(FolderOf(path));
    struct stat st {};
    // Only the file this object put there: another run may have replaced it since.
    if (lstat(path.constData(), &st) != 0 || FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)} != committedId_)
        return false;
    return unlink(path.constData()) == 0;
}

QString OutputRefusal(const QString& name, const OutputRules& rules)
{
    if (const int stream = StreamDescriptor(name); stream >= 0) {
        struct stat st {};
        if (fstat(stream, &st) != 0)
            return QStringLiteral("is not open");
        if (IsInput(st, rules))
            return QStringLiteral("would replace the input it is made from");
        if (rules.needsSeek && lseek(stream, 0, SEEK_CUR) < 0)
            return QStringLiteral("cannot seek, and this file's header is written last");
        return {};
    }
    return Judge(EncodeNativeName(name), rules).refusal;
}

bool WriteOutputFile(const QString& name, const OutputRules& rules, std::initializer_list<QByteArrayView> parts,
                     QString& error)
{
    OutputFile file;
    bool ok = file.Open(name, rules);
    for (const QByteArrayView part : parts)
        ok = ok && file.Write(part);
    if (ok && file.Commit())
        return true;
    error = QStringLiteral("%1: %2").arg(name == QLatin1String("-") ? QStringLiteral("standard output") : name,
                                         file.ErrorText());
    return false;
}

} // namespace kx
