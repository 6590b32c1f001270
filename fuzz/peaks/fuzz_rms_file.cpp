// An RMS side file from bytes and through the file reader: an accepted one
// encodes back byte for byte; a refused one leaves the caller's data alone.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "peaks/RmsFile.h"

using namespace kx;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    RmsData sentinel;
    sentinel.rate = 1;
    RmsData d = sentinel;
    const QString why = DecodeRms(bytes, d);
    if (!why.isEmpty()) {
        if (!(d == sentinel))
            __builtin_trap();
    } else if (EncodeRms(d) != std::vector<uint8_t>(bytes.begin(), bytes.end())) {
        __builtin_trap();
    }
    const QString path = fuzz::WriteScratch(QStringLiteral("f.rms"), data, size);
    RmsData fromFile;
    QString error;
    if (ReadRmsFile(path, fromFile, error) != why.isEmpty())
        __builtin_trap();
    if (why.isEmpty() && !(fromFile == d))
        __builtin_trap();
    return 0;
}
