#pragma once
// The hostile corpus: files made at test time that every peaktool command
// taking a file must survive, each with what the commands should make of it.
#include <QByteArray>
#include <QString>
#include <vector>

namespace kx::Hostile {

// What a command may do with an input.
enum class Expect {
    Refuse,  // exit 1 with a message naming the file and the reason
    Accept,  // exit 0
    Either,  // a clean result of either kind
};

// Which commands an input is meant for; the others must refuse it.
enum class Kind { PeakFile, Wav, Media, WaveformData, Other };

struct Input {
    QByteArray path;  // bytes: names need not be valid UTF-8
    QString label;    // short description for the results
    Kind kind = Kind::Other;
    // For the commands of its kind: build/wavpeaks (media side) or
    // info/render/export (peak side), import (waveform data).
    Expect expect = Expect::Refuse;
    // The build command on it, where that differs from expect.
    Expect build = Expect::Refuse;
    bool large = false;  // sparse; compared by size and time only
};

// Writes the corpus into dir (which must exist and be empty).
std::vector<Input> MakeCorpus(const QString& dir);

} // namespace kx::Hostile
