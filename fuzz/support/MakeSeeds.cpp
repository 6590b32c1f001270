// Writes a few seeds for every fuzz target into DIR/<target>/: valid inputs
// of each format, so that fuzzing starts past the first checks.
// Usage: makefuzzseeds DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/WavWriter.h"

using Bytes = std::vector<uint8_t>;

namespace {

void Put(Bytes& b, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// A builder peak file: 16-bit stereo at 48 kHz, 100 frames per record.
Bytes PeakFile(int records, uint8_t bytesPerPeak = 4, uint8_t channels = 2)
{
    Bytes b = Text("PEAK");
    b.push_back(bytesPerPeak);
    b.push_back(channels);
    Put(b, 48000, 4);
    Put(b, uint64_t(records) * 100 * channels * 2, 4);
    Put(b, 100, 2);
    for (int r = 0; r < records * bytesPerPeak * channels; ++r)
        b.push_back(uint8_t(128 + 60 * std::sin(r * 0.3)));
    return b;
}

Bytes Wav(uint32_t rate, uint16_t channels, uint16_t bits, int frames)
{
    Bytes pcm;
    for (int i = 0; i < frames * channels * bits / 8; ++i)
        pcm.push_back(uint8_t(128 + 100 * std::sin(i * 0.05)));
    return kx::MakeWavBytes(rate, channels, bits, pcm);
}

// A WAV with an odd-sized chunk (and its pad byte) between "fmt " and "data".
Bytes WavWithList()
{
    Bytes w = Wav(8000, 1, 8, 300);
    Bytes list = Text("LIST");
    Put(list, 3, 4);
    list.insert(list.end(), {'a', 'b', 'c', 0});
    w.insert(w.begin() + 36, list.begin(), list.end());
    const uint32_t riff = uint32_t(w.size() - 8);
    for (int i = 0; i < 4; ++i)
        w[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    return w;
}

Bytes Zeros(int n)
{
    return Bytes(size_t(n), 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makefuzzseeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const auto write = [&dir](const std::string& target, const std::vector<Bytes>& seeds) {
        std::filesystem::create_directories(dir / target);
        int n = 0;
        for (const Bytes& s : seeds) {
            std::ofstream out(dir / target / ("seed-" + std::to_string(n++)), std::ios::binary);
            out.write(reinterpret_cast<const char*>(s.data()), std::streamsize(s.size()));
        }
    };
    const Bytes peaks = PeakFile(40), mono8 = PeakFile(25, 2, 1);
    Bytes viewerLayout = Text("PEAK");
    Put(viewerLayout, 4, 1);
    Put(viewerLayout, 2, 1);
    Put(viewerLayout, 44100, 4);
    Put(viewerLayout, 16000, 4);
    viewerLayout = Cat(viewerLayout, Zeros(64));
    const Bytes wav16 = Wav(44100, 2, 16, 2000), wav8 = Wav(8000, 1, 8, 500), listed = WavWithList();

    write("fuzz_peak_header", {peaks, mono8, viewerLayout});
    write("fuzz_peak_file", {Cat({0}, peaks), Cat({0}, mono8), Cat({0}, viewerLayout), Cat({0xF9}, peaks),
                             Cat({0xFD}, Bytes(peaks.begin(), peaks.begin() + 16))});
    // One file with a peak file; two, the second without one, queued together.
    write("fuzz_builder_peaks", {Cat(Zeros(5), peaks), Cat(Bytes{1, 0, 0, 0, 1, 0}, peaks)});
    write("fuzz_peak_viewer", {Cat(Cat({1}, Zeros(18)), peaks), Cat(Cat({0}, Bytes(18, 7)), mono8)});
    write("fuzz_wav_peaks", {wav16, wav8, listed});
    write("fuzz_wav_file", {Cat(Cat(Bytes(8, 3), {0}), wav16), Cat(Cat(Bytes(8, 9), {0}), wav8),
                            Cat(Cat(Bytes(8, 1), {0}), listed), Cat(Cat(Bytes(8, 1), {0xFD}), wav8)});
    Bytes reducer = {44, 44, 48, 0, 1, 1, 0, 16, 0, 16, 0, 10, 0, 5};
    for (int i = 0; i < 600; ++i)
        Put(reducer, uint16_t(int16_t(20000 * std::sin(i * 0.07))), 2);
    Bytes reducerUp = reducer;
    reducerUp[0] = 8;  // 8 kHz in, 44 kHz out: empty spans between frames
    write("fuzz_peak_reducer", {reducer, reducerUp});
    Bytes number = {2, 0, 0, 0, 1, 0, 0, 0};
    Put(number, 0x40290000'00000000ull, 8);  // 12.5
    write("fuzz_float_text", {Cat(number, Text("12.5")), Cat(number, Text(" -1.25e3"))});
    write("fuzz_drop_files", {Bytes{3, 0, 0, 0, 0, 0, 0, 0, 2, 'a', ' ', 'b', 7, 2, 0, 0, 0, 1, 1}, Text("drop")});
    write("fuzz_file_filter", {Text("Wave files (*.wav)|*.wav;*.WAV|All files|*.*"), Text("Peaks|*.pek")});
    Bytes unpadded = listed;
    unpadded.erase(unpadded.begin() + 47);
    write("fuzz_wav_layout", {wav16, wav8, listed, unpadded});
    // Peak data for the export (the first byte picks its options), and both
    // waveform data forms for the decoders.
    Bytes dat;
    for (uint32_t v : {2u, 0u, 48000u, 100u, 3u, 2u})
        Put(dat, v, 4);
    for (int i = 0; i < 12; ++i)
        Put(dat, uint16_t(int16_t(i % 2 ? 1000 * i : -1000 * i)), 2);
    const Bytes json = Text("{\"version\":2,\"channels\":1,\"sample_rate\":8000,\"samples_per_pixel\":100,"
                            "\"bits\":8,\"length\":2,\"data\":[-3,4,-10,12]}");
    // MPEG-1 layer III frames (128 kbit/s, 44.1 kHz, joint stereo, 417 bytes),
    // bare and behind an ID3v2 tag.
    Bytes mp3;
    for (int f = 0; f < 12; ++f) {
        mp3.insert(mp3.end(), {0xFF, 0xFB, 0x90, 0x64});
        for (int i = 4; i < 417; ++i)
            mp3.push_back(uint8_t(i * (f + 3)));
    }
    const Bytes id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    write("fuzz_mp3_frames", {mp3, Cat(id3, mp3)});
    write("fuzz_regions_json",
          {Text(R"({"segments": [{"id": "a", "startTime": 1.5, "endTime": 4, "labelText": "Intro", "color": "#ff8000",)"
                R"( "editable": true, "tags": [1]}], "points": [{"id": 3, "time": 2.25, "labelText": "Drop"}], "v": 2})"),
           Text(R"({"points": [{"time": 0}, {"time": 9.99, "color": "#00FF00", "editable": false}]})"),
           Text(R"({"segments": [{"startTime": 0, "endTime": 0}, {"startTime": 1e5, "endTime": 2e5}]})")});
    write("fuzz_file_kind", {peaks, viewerLayout, dat, json, wav16, Text("<svg width=\"1\"/>"), Text("digraph {}")});
    write("fuzz_waveform_data", {Cat({0}, peaks), Cat({0x37}, peaks), Cat({0x5A}, mono8), Cat({0}, dat),
                                 Cat({1}, json)});
    // A spectrogram file: 44.1 kHz, 3 columns of 256 bands.
    Bytes sgram = Text("KXSG");
    for (auto [v, n] : {std::pair{1, 2}, {48, 2}, {44100, 4}, {1024, 4}, {4096, 4}, {256, 2}, {1, 1}, {100, 1},
                        {20, 4}, {0, 4}, {3, 8}, {3000, 8}})
        Put(sgram, uint64_t(v), n);
    sgram = Cat(sgram, Bytes(3 * 256, 0x80));
    write("fuzz_spectrogram_file", {Cat({0}, sgram), Cat({0x41}, sgram)});
    // RMS levels: mono and stereo, 100 frames per record at 44.1 kHz.
    std::vector<Bytes> rms;
    for (int channels : {1, 2}) {
        Bytes r = Text("KXRM");
        for (auto [v, n] : {std::pair{1, 2}, {32, 2}, {channels, 2}, {100, 2}, {44100, 4}, {4, 8}, {0, 8}})
            Put(r, uint64_t(v), n);
        rms.push_back(Cat(r, Bytes(size_t(4 * 2 * channels), 0x40)));
    }
    write("fuzz_rms_file", rms);
    return 0;
}
