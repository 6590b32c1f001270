// peaktool info FILE: the header fields of a peak file and what the readers say.
#include "Command.h"
#include "peaks/PeakFormat.h"
#include "platform/FileKind.h"
#include "platform/NativeName.h"

#include <QFile>

namespace kx {

namespace {

QString Printable(const QByteArray& bytes)
{
    QString s;
    for (char c : bytes)
        s += (c >= 32 && c < 127) ? QChar::fromLatin1(c) : QChar(u'?');
    return s;
}

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE"));
    line.SetDescription(QStringLiteral(
        "Prints the header fields, the record count and duration, and whether the\n"
        "builder and the viewer accept the file. Exit 0 when the viewer accepts it,\n"
        "1 otherwise, 2 on bad usage."));
}

int Run(CommandLine& line);

const PeakToolCommand command("info", "print the header of a peak file and whether it is accepted", NeedsNothing, Define,
                              Run);

int Run(CommandLine& line)
{
    const QStringList args = line.Positional();
    if (args.size() != 1)
        return line.UsageError(QStringLiteral("expects exactly one peak file"));
    const QString path = args[0];

    QFile file;
    if (!StatNative(path).isFile || !OpenNativeFile(file, path, QIODevice::ReadOnly)) {
        Err(QStringLiteral("peaktool info: %1: cannot be opened").arg(path));
        return ExitFailed;
    }
    const QByteArray head = file.read(PeakHeaderSize);
    const auto size = static_cast<uint64_t>(file.size());
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(head.constData()),
                                         static_cast<size_t>(head.size()));
    if (head.size() >= 4)
        Out(QStringLiteral("Magic: %1").arg(Printable(head.left(4))));
    // Fields are read only from what is a peak file: the bytes of any other
    // kind would print as plausible numbers.
    if (!head.startsWith("PEAK")) {
        const QByteArray more = head + file.read(qint64(FileKindHeadSize) - head.size());
        const FileKind kind = DetectFileKind(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(more.constData()), size_t(more.size())), size);
        Err(QStringLiteral("peaktool info: %1: not a peak file (it holds %2)").arg(path, FileKindText(kind)));
        return ExitFailed;
    }
    if (head.size() >= PeakHeaderSize) {
        const auto h = DecodePeakHeader(bytes);
        Out(QStringLiteral("BytesPerPeak: %1").arg(h->BytesPerPeak));
        Out(QStringLiteral("Channels: %1").arg(h->Channels));
        Out(QStringLiteral("SamplesPerSecond: %1").arg(h->SamplesPerSecond));
        Out(QStringLiteral("PcmByteCount: %1").arg(h->PcmByteCount));
        Out(QStringLiteral("SamplesPerPeak: %1").arg(h->SamplesPerPeak));
        Out(QStringLiteral("Records: %1").arg(PeakRecordCount(*h, size)));
        Out(QStringLiteral("DurationMs: %1").arg(PeakDurationMs(*h)));
    }
    const PeakCheck builder = CheckPeakData(bytes, size, PeakReader::Builder);
    const PeakCheck viewer = CheckPeakData(bytes, size, PeakReader::ViewerFile);
    Out(QStringLiteral("Builder: %1").arg(builder == PeakCheck::Accepted ? "accepted" : "refused"));
    Out(QStringLiteral("Viewer: %1").arg(viewer == PeakCheck::Accepted ? "accepted" : "refused"));
    if (builder != PeakCheck::Accepted)
        Err(QStringLiteral("peaktool info: %1: builder refuses it: %2").arg(path, PeakCheckText(builder)));
    if (viewer != PeakCheck::Accepted)
        Err(QStringLiteral("peaktool info: %1: viewer refuses it: %2").arg(path, PeakCheckText(viewer)));
    return viewer == PeakCheck::Accepted ? ExitOk : ExitFailed;
}

} // namespace

} // namespace kx
