#include "HostileInputs.h"

#include <QFile>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestMedia.h"

namespace kx::Hostile {

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

void Poke(Bytes& b, size_t at, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

Bytes Text(const char* s)
{
    return Bytes(s, s + strlen(s));
}

struct PeakFields {
    uint8_t bytesPerPeak = 4, channels = 2;
    uint32_t rate = 48000, pcm = 0;
    uint16_t samplesPerPeak = 100;
    int records = 30;
};

Bytes Peak(PeakFields f)
{
    Bytes b = Text("PEAK");
    Put(b, f.bytesPerPeak, 1);
    Put(b, f.channels, 1);
    Put(b, f.rate, 4);
    Put(b, f.pcm ? f.pcm : uint32_t(f.records) * f.samplesPerPeak * f.channels * (f.bytesPerPeak / 2u), 4);
    Put(b, f.samplesPerPeak, 2);
    for (int i = 0; i < f.records * f.bytesPerPeak * f.channels; ++i)
        b.push_back(uint8_t(128 + 90 * std::sin(i * 0.21)));
    return b;
}

Bytes Wav(uint32_t rate = 8000, uint16_t channels = 1, uint16_t bits = 16, int64_t frames = 4000)
{
    return TestMedia::WavBytes({rate, channels, bits, frames}, TestMedia::Sine(440, 0.5, rate));
}

// Offsets in the canonical 44-byte header.
enum : size_t { RiffSize = 4, FmtSize = 16, Tag = 20, Channels = 22, Rate = 24, ByteRate = 28, Align = 32,
                Bits = 34, DataSize = 40, DataStart = 44 };

Bytes WithChunkBeforeData(Bytes wav, const char* id, uint32_t size, const Bytes& body)
{
    Bytes chunk = Text(id);
    Put(chunk, size, 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    wav.insert(wav.begin() + 36, chunk.begin(), chunk.end());
    Poke(wav, RiffSize, wav.size() - 8, 4);
    return wav;
}

Bytes Cut(const Bytes& b, size_t n)
{
    return Bytes(b.begin(), b.begin() + std::min(n, b.size()));
}

Bytes Garbage(size_t n, uint32_t seed)
{
    Bytes b(n);
    for (auto& v : b) {
        seed = seed * 1103515245u + 12345u;
        v = uint8_t(seed >> 24);
    }
    return b;
}

class Writer
{
public:
    explicit Writer(const QString& dir) : dir_(QFile::encodeName(dir) + '/') {}

    Input& File(const QByteArray& name, const Bytes& bytes, Kind kind, Expect expect, Expect build,
                const QString& label)
    {
        const QByteArray path = dir_ + Own(name);
        const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            if (!bytes.empty() && write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
                unlink(path.constData());
            close(fd);
        }
        inputs_.push_back({path, label, kind, expect, build, false});
        return inputs_.back();
    }
    // Grows the last file to size with a hole.
    void Sparse(uint64_t size)
    {
        if (truncate(inputs_.back().path.constData(), off_t(size)) == 0)
            inputs_.back().large = true;
    }
    Input& Special(const QByteArray& name, const QString& label)
    {
        inputs_.push_back({dir_ + Own(name), label, Kind::Other, Expect::Refuse, Expect::Refuse, false});
        return inputs_.back();
    }
    QByteArray Dir() const { return dir_; }
    std::vector<Input> Take() { return std::move(inputs_); }

    // Peak files get names of their own: "a.pek" beside "a.wav" would be
    // taken for the WAV's peak file.
    static QByteArray Own(const QByteArray& name)
    {
        return name.endsWith(".pek") ? name.chopped(4) + "-pk.pek" : name;
    }

private:
    QByteArray dir_;
    std::vector<Input> inputs_;
};

QByteArray Num(const char* prefix, size_t n, const char* ext)
{
    return QByteArray(prefix) + QByteArray::number(qulonglong(n)) + ext;
}

} // namespace

std::vector<Input> MakeCorpus(const QString& dir)
{
    Writer x(dir);
    using E = Expect;
    const Kind P = Kind::PeakFile, W = Kind::Wav, M = Kind::Media, D = Kind::WaveformData;
    auto add = [&x](const QByteArray& name, const Bytes& b, Kind k, E e, E build, const QString& label) -> Input& {
        return x.File(name, b, k, e, build, label);
    };

    // Peak files. The builder takes a .pek given as media for its own peak
    // file, so build may answer has-peaks where the readers accept it.
    const Bytes peak = Peak({});
    add("valid.pek", peak, P, E::Accept, E::Either, "peak file, 16-bit stereo");
    add("valid8.pek", Peak({2, 1}), P, E::Accept, E::Either, "peak file, 8-bit mono");
    int n = 0;
    for (const char* magic : {"PEAX", "peak", "RIFF", "\xff\xff\xff\xff"}) {
        Bytes b = peak;
        std::copy(magic, magic + 4, b.begin());
        add(Num("magic", size_t(n++), ".pek"), b, P, E::Refuse, E::Refuse, "peak file, wrong magic");
    }
    for (size_t cut = 0; cut < 16; ++cut)
        add(Num("peakcut", cut, ".pek"), Cut(peak, cut), P, E::Refuse, E::Refuse, "peak file cut inside its header");
    add("headeronly.pek", Cut(peak, 16), P, E::Either, E::Either, "peak header without records");
    add("partrecord.pek", Cut(peak, 19), P, E::Either, E::Either, "peak header and part of a record");
    add("oddlength.pek", Cut(peak, 16 + 4 * 8 + 5), P, E::Either, E::Either, "records and a part record");
    for (int ch : {0, 3, 255}) {
        PeakFields f;
        f.channels = uint8_t(ch);
        add(Num("channels", size_t(ch), ".pek"), Peak(f), P, E::Refuse, E::Refuse, "peak file, bad channel count");
    }
    for (int bpp : {0, 3, 8, 255}) {
        PeakFields f;
        f.bytesPerPeak = uint8_t(bpp);
        add(Num("bpp", size_t(bpp), ".pek"), Peak(f), P, E::Refuse, E::Refuse, "peak file, bad bytes per peak");
    }
    {
        PeakFields f;
        f.rate = 0;
        add("rate0.pek", Peak(f), P, E::Refuse, E::Refuse, "peak file, rate 0");
        f.rate = 0xFFFFFFFF;
        add("ratemax.pek", Peak(f), P, E::Either, E::Either, "peak file, rate 2^32-1");
        f = {};
        f.samplesPerPeak = 0;
        add("spp0.pek", Peak(f), P, E::Refuse, E::Either, "peak file, 0 samples per peak");
        f.samplesPerPeak = 65535;
        add("sppmax.pek", Peak(f), P, E::Either, E::Either, "peak file, 65535 samples per peak");
        f = {};
        f.pcm = 0xFFFFFFFF;
        add("pcmhuge.pek", Peak(f), P, E::Either, E::Either, "peak file, huge decoded length");
        f.pcm = 1;
        add("pcmtiny.pek", Peak(f), P, E::Either, E::Either, "peak file, decoded length 1");
        f = {};
        f.records = 100000;
        add("many.pek", Peak(f), P, E::Accept, E::Either, "peak file, 100000 records");
    }
    {
        // The wave viewer's own file: "PEAK", align, channels, rate, size (14 bytes).
        Bytes b = Text("PEAK");
        Put(b, 4, 1);
        Put(b, 2, 1);
        Put(b, 44100, 4);
        Put(b, 44100 * 4, 4);
        const Bytes records = Garbage(4 * 2 * 200, 7);
        b.insert(b.end(), records.begin(), records.end());
        add("viewerlayout.pek", b, P, E::Refuse, E::Refuse, "the wave viewer's peak file");
        Bytes mono = Text("PEAK");
        Put(mono, 1, 1);
        Put(mono, 1, 1);
        Put(mono, 8000, 4);
        Put(mono, 8000, 4);
        const Bytes r8 = Garbage(2 * 300, 9);
        mono.insert(mono.end(), r8.begin(), r8.end());
        add("viewerlayout8.pek", mono, P, E::Refuse, E::Refuse, "the wave viewer's peak file, 8-bit mono");
    }
    add("sparse1g.pek", Peak({}), P, E::Either, E::Either, "peak file grown to 1 GiB with a hole");
    x.Sparse(uint64_t(1) << 30);
    add("sparse1g1.pek", Peak({}), P, E::Refuse, E::Either, "peak file of 1 GiB + 1 byte, sparse");
    x.Sparse((uint64_t(1) << 30) + 1);
    add("zeros200m.pek", {}, P, E::Refuse, E::Refuse, "200 MB of zeros");
    x.Sparse(200u << 20);
    for (uint32_t seed = 1; seed <= 3; ++seed)
        add(Num("garbage", seed, ".pek"), Garbage(1000 * seed, seed), P, E::Refuse, E::Refuse, "random bytes");

    // WAV files: expect is the wave viewer's reading (wavpeaks), build the decoder's.
    const Bytes wav = Wav();
    add("valid.wav", wav, W, E::Accept, E::Accept, "WAV, 16-bit mono");
    add("valid8.wav", Wav(11025, 2, 8, 3000), W, E::Accept, E::Accept, "WAV, 8-bit stereo");
    const auto variant = [&](const char* name, size_t at, uint64_t value, int bytes, E wavpeaks, E build,
                             const char* label) {
        Bytes b = wav;
        Poke(b, at, value, bytes);
        add(name, b, W, wavpeaks, build, label);
    };
    variant("riffbig.wav", RiffSize, 0xFFFFFFF0, 4, E::Either, E::Either, "WAV, RIFF size too large");
    variant("riffsmall.wav", RiffSize, 20, 4, E::Either, E::Either, "WAV, RIFF size too small");
    variant("fmt14.wav", FmtSize, 14, 4, E::Refuse, E::Either, "WAV, short fmt chunk");
    variant("fmt18.wav", FmtSize, 18, 4, E::Refuse, E::Either, "WAV, fmt chunk of 18 bytes");
    variant("fmthuge.wav", FmtSize, 0xFFFFFFF8, 4, E::Refuse, E::Refuse, "WAV, fmt size near 2^32");
    variant("channels0.wav", Channels, 0, 2, E::Refuse, E::Refuse, "WAV, zero channels");
    variant("channels9.wav", Channels, 9, 2, E::Refuse, E::Either, "WAV, nine channels");
    variant("align0.wav", Align, 0, 2, E::Refuse, E::Either, "WAV, zero block align");
    variant("align3.wav", Align, 3, 2, E::Refuse, E::Either, "WAV, block align not a frame");
    variant("rate0.wav", Rate, 0, 4, E::Refuse, E::Refuse, "WAV, sample rate 0");
    variant("ratemax.wav", Rate, 0xFFFFFFFF, 4, E::Refuse, E::Either, "WAV, sample rate 2^32-1");
    variant("byterate0.wav", ByteRate, 0, 4, E::Either, E::Either, "WAV, byte rate 0");
    variant("bits24.wav", Bits, 24, 2, E::Refuse, E::Either, "WAV, 24 bits declared");
    variant("bits0.wav", Bits, 0, 2, E::Refuse, E::Either, "WAV, 0 bits");
    variant("float.wav", Tag, 3, 2, E::Refuse, E::Either, "WAV, float format tag");
    variant("extensible.wav", Tag, 0xFFFE, 2, E::Refuse, E::Either, "WAV, extensible format tag");
    variant("adpcm.wav", Tag, 2, 2, E::Refuse, E::Either, "WAV, ADPCM tag on PCM bytes");
    variant("datamax.wav", DataSize, 0xFFFFFFFF, 4, E::Either, E::Either, "WAV, data size 2^32-1");
    variant("datanear.wav", DataSize, 0xFFFFFFF0, 4, E::Either, E::Either, "WAV, data size near 2^32");
    variant("datahalf.wav", DataSize, 0x80000000, 4, E::Either, E::Either, "WAV, data size 2^31");
    variant("data0.wav", DataSize, 0, 4, E::Either, E::Either, "WAV, data size 0");
    variant("dataodd.wav", DataSize, 7999, 4, E::Either, E::Either, "WAV, data size not whole frames");
    add("listodd.wav", WithChunkBeforeData(wav, "LIST", 3, {'a', 'b', 'c', 0}), W, E::Accept, E::Accept,
        "WAV, odd chunk with its pad byte");
    add("listnopad.wav", WithChunkBeforeData(wav, "LIST", 3, {'a', 'b', 'c'}), W, E::Either, E::Either,
        "WAV, odd chunk without its pad byte");
    add("listhuge.wav", WithChunkBeforeData(wav, "LIST", 0xFFFFFFF0, {}), W, E::Refuse, E::Either,
        "WAV, chunk size near 2^32 before data");
    add("listmax.wav", WithChunkBeforeData(wav, "junk", 0xFFFFFFFF, {}), W, E::Refuse, E::Either,
        "WAV, chunk size 2^32-1 before data");
    {
        Bytes nodata = Cut(wav, 36);
        Poke(nodata, RiffSize, 28, 4);
        add("nodata.wav", nodata, W, E::Refuse, E::Either, "WAV without a data chunk");
        Bytes datafirst = Text("RIFF");
        Put(datafirst, 4 + 8 + 100 + 24, 4);
        const Bytes tail = Text("WAVEdata");
        datafirst.insert(datafirst.end(), tail.begin(), tail.end());
        Put(datafirst, 100, 4);
        const Bytes samples = Garbage(100, 3);
        datafirst.insert(datafirst.end(), samples.begin(), samples.end());
        datafirst.insert(datafirst.end(), wav.begin() + 12, wav.begin() + 36);
        add("datafirst.wav", datafirst, W, E::Refuse, E::Either, "WAV, data before fmt");
    }
    // Cut at every boundary of the header's fields, and inside the data.
    for (size_t cut : {0, 1, 4, 8, 11, 12, 16, 20, 22, 24, 28, 32, 34, 36, 40})
        add(Num("wavcut", cut, ".wav"), Cut(wav, cut), W, E::Refuse, cut < 36 ? E::Refuse : E::Either,
            "WAV cut inside its header");
    for (size_t cut : {44, 45, 46, 1000, 4001})
        add(Num("wavcut", cut, ".wav"), Cut(wav, cut), W, E::Either, E::Either, "WAV cut inside its data");
    {
        const Bytes listed = WithChunkBeforeData(wav, "LIST", 3, {'a', 'b', 'c', 0});
        for (size_t cut : {38, 44, 46, 47, 48, 52})
            add(Num("listcut", cut, ".wav"), Cut(listed, cut), W, E::Refuse, E::Either,
                "WAV with a chunk, cut at a chunk boundary");
        add("listcut56.wav", Cut(listed, 56), W, E::Either, E::Either, "WAV with a chunk, cut after the data header");
    }
    {
        // 300 MB of 8-bit mono at 1 Hz, nearly all hole.
        Bytes b = Wav(1, 1, 8, 16);
        Poke(b, DataSize, 300u << 20, 4);
        Poke(b, RiffSize, (300u << 20) + 36, 4);
        add("sparse1hz.wav", b, W, E::Either, E::Either, "sparse 300 MB WAV at 1 Hz");
        x.Sparse((300u << 20) + 44);
    }
    for (uint32_t seed = 1; seed <= 3; ++seed)
        add(Num("garbage", seed, ".wav"), Garbage(900 * seed, seed + 10), W, E::Refuse, E::Refuse, "random bytes");

    // Media that is not what its name says.
    const Bytes text = Text("This is a text file, not media.\nSecond line.\n");
    for (const char* ext : {".mp3", ".flac", ".ogg", ".mpg", ".avi", ".mp4", ".m4a"}) {
        add(QByteArray("text") + ext, text, M, E::Refuse, E::Refuse, QStringLiteral("text named %1").arg(ext));
        add(QByteArray("empty") + ext, {}, M, E::Refuse, E::Refuse, QStringLiteral("empty %1").arg(ext));
        add(QByteArray("noise") + ext, Garbage(3000, uint32_t(ext[1])), M, E::Refuse, E::Refuse,
            QStringLiteral("random bytes named %1").arg(ext));
    }
    add("empty.wav", {}, W, E::Refuse, E::Refuse, "empty .wav");
    {
        const QString videoOnly = QFile::decodeName(x.Dir() + "videoonly.avi");
        if (TestMedia::EncodeVideoOnly(videoOnly, 0.5))
            x.File("videoonly.avi", [&] {
                QFile f(videoOnly);
                f.open(QIODevice::ReadOnly);
                const QByteArray all = f.readAll();
                return Bytes(all.begin(), all.end());
            }(), M, E::Refuse, E::Refuse, "video without audio");
        const QString flac = QFile::decodeName(x.Dir() + "tone.flac");
        if (TestMedia::EncodeTone(flac, 0.3)) {
            QFile f(flac);
            f.open(QIODevice::ReadOnly);
            const QByteArray all = f.readAll();
            const Bytes bytes(all.begin(), all.end());
            x.File("tone.flac", bytes, M, E::Accept, E::Accept, "FLAC tone");
            x.File("tonecut.flac", Cut(bytes, 200), M, E::Either, E::Either, "FLAC cut after its headers");
        }
    }

    // Waveform data for import.
    add("empty.dat", {}, D, E::Refuse, E::Refuse, "empty waveform data");
    add("short.dat", Bytes{2, 0, 0, 0}, D, E::Refuse, E::Refuse, "waveform data cut in its header");
    {
        Bytes dat;
        Put(dat, 2, 4);
        Put(dat, 0, 4);
        Put(dat, 48000, 4);
        Put(dat, 256, 4);
        Put(dat, 0xFFFFFFFF, 4);
        Put(dat, 1, 4);
        const Bytes some = Garbage(64, 5);
        dat.insert(dat.end(), some.begin(), some.end());
        add("hugelength.dat", dat, D, E::Refuse, E::Refuse, "waveform data claiming 2^32 pixels");
    }
    add("open.json", Text("{"), D, E::Refuse, E::Refuse, "JSON cut after its brace");
    add("hugelength.json", Text("{\"version\":2,\"channels\":2,\"sample_rate\":48000,\"samples_per_pixel\":256,"
                                "\"bits\":8,\"length\":1000000000000,\"data\":[1,-1]}"),
        D, E::Refuse, E::Refuse, "JSON claiming 10^12 pixels");
    add("strings.json", Text("{\"version\":2,\"channels\":1,\"sample_rate\":48000,\"samples_per_pixel\":256,"
                             "\"bits\":8,\"length\":1,\"data\":[\"a\",\"b\"]}"),
        D, E::Refuse, E::Refuse, "JSON with text for samples");
    add("deep.json", Bytes(100000, '['), D, E::Refuse, E::Refuse, "JSON nested 100000 deep");

    // File-system cases.
    const QByteArray d = x.Dir();
    for (const char* name : {"folder.wav", "folder.pek"}) {
        mkdir((d + Writer::Own(name)).constData(), 0755);
        x.Special(name, "a folder with a media name");
    }
    for (const char* name : {"fifo.wav", "fifo.pek"}) {
        mkfifo((d + Writer::Own(name)).constData(), 0644);
        x.Special(name, "a FIFO");
    }
    (void)!symlink("nowhere.wav", (d + "dangling.wav").constData());
    x.Special("dangling.wav", "a dangling link");
    (void)!symlink("loop.wav", (d + "loop.wav").constData());
    x.Special("loop.wav", "a link to itself");
    x.Special("missing.wav", "no such file");
    x.Special("missing.pek", "no such file");
    add("unreadable.wav", Garbage(500, 99), W, E::Refuse, E::Refuse, "unreadable random bytes");
    chmod((d + "unreadable.wav").constData(), 0);
    // Awkward names around valid content: accepted like any other.
    for (const char* name : {"with space", "quote'd \"name\"", "new\nline", "tab\tname", "-dash"}) {
        add(QByteArray(name) + ".wav", wav, W, E::Accept, E::Accept, "WAV with an awkward name");
        add(QByteArray(name) + ".pek", peak, P, E::Accept, E::Either, "peak file with an awkward name");
    }
    // Names that are not UTF-8 are read under their own bytes, like any other.
    add("\xff\xfe not utf8.wav", wav, W, E::Accept, E::Accept, "WAV named in bytes that are not UTF-8");
    add("\xff\xfe not utf8.pek", peak, P, E::Accept, E::Either, "peak file named in bytes that are not UTF-8");
    return x.Take();
}

} // namespace kx::Hostile
