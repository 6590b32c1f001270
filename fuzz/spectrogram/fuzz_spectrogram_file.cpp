// A spectrogram file from bytes and through the file reader: an accepted one
// encodes back byte for byte, and its pyramid and a picture of it at a zoom
// from the input are made; a refused one leaves the caller's data alone.
#include <QImage>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "spectrogram/SpectrogramFile.h"
#include "spectrogram/SpectrogramPicture.h"

using namespace kx;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const uint32_t zoom = in.Take(1);
    const std::span<const uint8_t> bytes(in.Rest(), in.RestSize());
    SpectrogramData sentinel;
    sentinel.rate = 1;
    SpectrogramData d = sentinel;
    const QString why = DecodeSpectrogram(bytes, d);
    if (!why.isEmpty()) {
        if (d.rate != 1 || !d.values.empty())
            __builtin_trap();
    } else if (EncodeSpectrogram(d) != std::vector<uint8_t>(bytes.begin(), bytes.end())) {
        __builtin_trap();
    }
    const QString path = fuzz::WriteScratch(QStringLiteral("f.sgram"), in.Rest(), in.RestSize());
    SpectrogramData fromFile;
    QString error;
    if (ReadSpectrogramFile(path, fromFile, error) != why.isEmpty())
        __builtin_trap();
    if (!why.isEmpty())
        return 0;
    const SpectrogramPyramid pyramid(std::move(d));
    QImage image(64, 32, QImage::Format_RGB32);
    SpectrogramView view;
    view.framesPerPixel = std::ldexp(1.0, int(zoom % 40) - 10);
    view.firstFrame = double(zoom) * 100;
    view.axis = zoom & 0x80 ? FrequencyAxis::Linear : FrequencyAxis::Logarithmic;
    PaintSpectrogram(image, pyramid, view);
    return 0;
}
