#pragma once
// The chunks of a RIFF/WAVE file, read without the media framework, and the
// files the framework's WAV parser must not be given.
#include <QString>
#include <cstddef>
#include <cstdint>

namespace kx {

/// read(context, offset, buffer, size) gives the bytes read (fewer at the end
/// of the file).
using RiffReadAt = size_t (*)(void* context, uint64_t offset, uint8_t* buffer, size_t size);

/// The chunks one after the other, from the first after the form type.
class RiffChunks
{
public:
    struct Chunk {
        uint8_t id[4] = {};
        uint32_t size = 0;
        uint64_t body = 0;
        bool padMissing = false;  ///< the chunk before ends without its pad byte

        bool Is(const char* name) const;
        QString Name() const;
    };

    RiffChunks(RiffReadAt read, void* context, uint64_t fileSize);
    /// Whether the file starts with a RIFF header of form WAVE.
    bool IsWave() const { return form_; }
    /// False at the end of the file; CutHeader tells whether a header was cut
    /// short there. Some writers leave out the pad byte after a chunk of odd
    /// size: the next chunk is then taken where they put it.
    bool Next(Chunk& chunk);
    bool CutHeader() const { return cut_; }

private:
    RiffReadAt read_;
    void* context_;
    uint64_t size_;
    uint64_t at_ = 12;
    bool form_ = false;
    bool oddBefore_ = false;
    bool cut_ = false;
};

/// Why the media framework's WAV parser must not be given this file: it spins
/// forever on a LIST chunk shorter than its type, misreads the chunks after
/// one that lacks its pad byte, and finds nothing in a file that ends before
/// its data. Empty when the file may go to the parser, and for anything that
/// is not RIFF/WAVE.
QString WavParserHazard(RiffReadAt read, void* context, uint64_t fileSize);
QString WavParserHazard(const QString& fileName);

/// A RiffReadAt over a descriptor (the context is a pointer to it).
size_t ReadFromDescriptor(void* context, uint64_t offset, uint8_t* buffer, size_t size);

} // namespace kx
