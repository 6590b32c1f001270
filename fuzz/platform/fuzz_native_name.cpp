// File names as bytes: decoding keeps every byte, so that encoding gives the
// same bytes back; two different byte strings never decode to one name; and
// text without escaped bytes is what Qt makes of valid UTF-8.
#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cstddef>
#include <cstdint>

#include "platform/NativeName.h"

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString name = DecodeNativeName(bytes);
    if (EncodeNativeName(name) != bytes)
        __builtin_trap();
    // A leading byte-order mark is part of a file name; QString::fromUtf8
    // would drop it.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    if (!HasRawBytes(name) && name != QString(utf8.decode(bytes)))
        __builtin_trap();
    // Cut in two: each half decodes on its own, and the halves together
    // still give the whole.
    const qsizetype half = bytes.size() / 2;
    if (EncodeNativeName(DecodeNativeName(bytes.left(half)) + DecodeNativeName(bytes.mid(half))) != bytes)
        __builtin_trap();
    return 0;
}
