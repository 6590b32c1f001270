#include "AtomicPeakFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LittleEndian.h"

namespace kx {

namespace {

// The peak header: "PEAK", BytesPerPeak, Channels, rate, PcmByteCount, SamplesPerPeak.
constexpr int HeaderSize = 16;

} // namespace

OutputRules AtomicPeakFile::Rules()
{
    OutputRules rules;
    rules.kind = FileKind::BuilderPeaks;
    rules.needsSeek = true;
    return rules;
}

bool AtomicPeakFile::Fail(const QString& what)
{
    error_ = what;
    file_.Abandon();
    return false;
}

bool AtomicPeakFile::Open(const QString& finalName, const OutputRules& rules)
{
    error_.clear();
    if (file_.Open(finalName, rules))
        return true;
    error_ = QStringLiteral("%1: %2").arg(finalName, file_.ErrorText());
    return false;
}

bool AtomicPeakFile::Write(const void* data, size_t size)
{
    return file_.Write(data, size) || Fail(QStringLiteral("%1: %2").arg(file_.Name(), file_.ErrorText()));
}

bool AtomicPeakFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    return file_.WriteAt(offset, data, size) || Fail(QStringLiteral("%1: %2").arg(file_.Name(), file_.ErrorText()));
}

bool AtomicPeakFile::Commit(int64_t expectedRecords)
{
    if (!file_.IsOpen())
        return false;
    // What is on disk is checked, not what was meant to be written. A device
    // keeps nothing to read back: the records written are taken as they are.
    if (!file_.IsDirect()) {
        const int fd = file_.Descriptor();
        struct stat st {};
        if (fstat(fd, &st) != 0)
            return Fail(QStringLiteral("cannot check the peak file: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        uint8_t head[HeaderSize];
        ssize_t got = 0;
        do
            got = pread(fd, head, sizeof head, 0);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return Fail(QStringLiteral("cannot read the peak file back: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
        const uint8_t bytesPerPeak = head[4], channels = head[5];
        if (got != HeaderSize || std::memcmp(head, "PEAK", 4) != 0 || (bytesPerPeak != 2 && bytesPerPeak != 4) ||
            (channels != 1 && channels != 2))
            return Fail(QStringLiteral("the peak file has no valid header"));
        const auto size = uint64_t(st.st_size);
        const auto recordSize = uint64_t(bytesPerPeak) * channels;
        if (expectedRecords < 0 || size != HeaderSize + uint64_t(expectedRecords) * recordSize)
            return Fail(QStringLiteral("the peak file holds %1 bytes, not the %2 records written")
                            .arg(size)
                            .arg(expectedRecords));
        if (!PeakLengthAgrees(bytesPerPeak, channels, ReadU32LE(head + 10), ReadU16LE(head + 14), expectedRecords))
            return Fail(QStringLiteral("the peak file's header does not match its %1 records").arg(expectedRecords));
    }
    if (file_.Commit())
        return true;
    error_ = QStringLiteral("%1: %2").arg(file_.Name(), file_.ErrorText());
    return false;
}

} // namespace kx
