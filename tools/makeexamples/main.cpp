// Writes the example media of the test bench: two short WAVs, so that the
// program has something to show on a fresh machine without binary files in
// the repository.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <QFile>

#include "platform/LittleEndian.h"
#include "platform/OutputFile.h"
#include "platform/WavWriter.h"

namespace kx {

namespace {

bool Save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    const QString name = QString::fromStdString(path);
    const QByteArrayView data(bytes.data(), qsizetype(bytes.size()));
    // Made before: nothing to write. Media is never replaced, not even ours.
    QFile old(name);
    if (old.open(QIODevice::ReadOnly) && old.readAll() == data)
        return true;
    OutputRules rules;
    rules.kind = FileKind::Wav;
    QString error;
    if (WriteOutputFile(name, rules, {data}, error))
        return true;
    std::fprintf(stderr, "makeexamples: %s\n", qPrintable(error));
    return false;
}

// A few plucked notes per second with a decaying envelope, panned apart,
// so the peaks show structure at every zoom.
std::vector<uint8_t> Melody(uint32_t rate, double seconds)
{
    const double notes[] = {261.63, 329.63, 392.00, 523.25, 440.00, 349.23, 293.66, 246.94};
    const auto frames = static_cast<size_t>(rate * seconds);
    std::vector<uint8_t> pcm(frames * 4);
    const double noteLength = 0.5;
    for (size_t f = 0; f < frames; ++f) {
        const double t = double(f) / rate;
        const auto n = static_cast<size_t>(t / noteLength);
        const double local = t - double(n) * noteLength;
        const double freq = notes[n % 8];
        const double env = std::exp(-local * 6.0) * (0.4 + 0.5 * std::fabs(std::sin(t * 0.3)));
        const double v = env * (std::sin(2 * M_PI * freq * t) + 0.3 * std::sin(4 * M_PI * freq * t)) / 1.3;
        const double pan = 0.5 + 0.4 * std::sin(t * 0.7);
        WriteU16LE(&pcm[f * 4], static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * pan * 32000))));
        WriteU16LE(&pcm[f * 4 + 2], static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * (1 - pan) * 32000))));
    }
    return MakeWavBytes(rate, 2, 16, pcm);
}

// Beats of filtered noise over a low hum, mono 8-bit: the other corner of the formats.
std::vector<uint8_t> Beats(uint32_t rate, double seconds)
{
    const auto frames = static_cast<size_t>(rate * seconds);
    std::vector<uint8_t> pcm(frames);
    uint32_t noise = 12345;
    double lowpass = 0;
    for (size_t f = 0; f < frames; ++f) {
        const double t = double(f) / rate;
        const double beat = std::fmod(t, 0.6);
        noise = noise * 1664525u + 1013904223u;
        const double white = double(noise >> 8) / double(1u << 24) * 2.0 - 1.0;
        lowpass += 0.2 * (white - lowpass);
        const double v = 0.8 * std::exp(-beat * 12.0) * lowpass * 3.0 + 0.15 * std::sin(2 * M_PI * 55.0 * t);
        pcm[f] = static_cast<uint8_t>(std::lround(128.0 + std::clamp(v, -1.0, 1.0) * 127.0));
    }
    return MakeWavBytes(rate, 1, 8, pcm);
}

} // namespace

} // namespace kx

using namespace kx;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeexamples OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (!Save(dir + "/melody.wav", Melody(44100, 40.0)) || !Save(dir + "/beats.wav", Beats(22050, 20.0))) {
        std::fprintf(stderr, "makeexamples: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
