#include "RiffChunks.h"

#include <cstring>
#include <unistd.h>

#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Chunk identifiers are letters, digits, spaces and underscores ("fmt ",
// "LIST", "_PMX"); a misplaced read rarely gives four of them.
bool PlausibleChunkId(const uint8_t* id)
{
    for (int i = 0; i < 4; ++i) {
        const uint8_t c = id[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '_'))
            return false;
    }
    return true;
}

// Chunks looked at before a file is taken as harmless to the graph.
constexpr int MaxCheckedChunks = 4096;

} // namespace

bool RiffChunks::Chunk::Is(const char* name) const
{
    return std::memcmp(id, name, 4) == 0;
}

QString RiffChunks::Chunk::Name() const
{
    return QString::fromLatin1(reinterpret_cast<const char*>(id), 4).trimmed();
}

RiffChunks::RiffChunks(RiffReadAt read, void* context, uint64_t fileSize) : read_(read), context_(context), size_(fileSize)
{
    uint8_t head[12];
    form_ = read(context, 0, head, 12) == 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
}

bool RiffChunks::Next(Chunk& c)
{
    if (!form_ || at_ >= size_)
        return false;
    uint8_t h[8];
    bool padMissing = false;
    size_t got = read_(context_, at_, h, 8);
    // Some writers leave out the pad byte after a chunk of odd size.
    if (oddBefore_ && (got < 4 || !PlausibleChunkId(h))) {
        uint8_t early[8];
        const size_t gotEarly = read_(context_, at_ - 1, early, 8);
        if (gotEarly == 8 && PlausibleChunkId(early)) {
            std::memcpy(h, early, 8);
            got = 8;
            --at_;
            padMissing = true;
        }
    }
    if (got != 8) {
        cut_ = true;
        return false;
    }
    std::memcpy(c.id, h, 4);
    c.size = ReadU32LE(h + 4);
    c.body = at_ + 8;
    c.padMissing = padMissing;
    oddBefore_ = (c.size & 1u) != 0;
    at_ = c.body + c.size + (c.size & 1u);
    return true;
}

QString WavParserHazard(RiffReadAt read, void* context, uint64_t fileSize)
{
    RiffChunks chunks(read, context, fileSize);
    if (!chunks.IsWave())
        return {};
    bool haveData = false;
    RiffChunks::Chunk c;
    for (int n = 0; n < MaxCheckedChunks; ++n) {
        if (!chunks.Next(c)) {
            if (haveData)
                return {};
            return chunks.CutHeader() ? QStringLiteral("the WAV file ends inside a chunk header, before its audio data")
                                      : QStringLiteral("the WAV file has no data chunk");
        }
        if (c.padMissing)
            return QStringLiteral("the chunk before the WAV file's %1 chunk lacks its pad byte").arg(c.Name());
        // A list is at least its own type: the parser never gets past a shorter one.
        if (c.Is("LIST") && c.size < 4)
            return QStringLiteral("the WAV file's LIST chunk is %1 bytes, too short for its type").arg(c.size);
        if (c.Is("data")) {
            haveData = true;
        } else if (!haveData && c.body + c.size > fileSize) {
            return QStringLiteral("the WAV file ends inside its %1 chunk, before its audio data").arg(c.Name());
        }
    }
    return {};
}

size_t ReadFromDescriptor(void* context, uint64_t offset, uint8_t* buffer, size_t size)
{
    return ReadNativeAt(*static_cast<int*>(context), offset, buffer, size);
}

QString WavParserHazard(const QString& fileName)
{
    uint64_t size = 0;
    int fd = OpenNativeRegular(fileName, size);
    if (fd < 0)
        return {};
    const QString hazard = WavParserHazard(ReadFromDescriptor, &fd, size);
    ::close(fd);
    return hazard;
}

} // namespace kx
