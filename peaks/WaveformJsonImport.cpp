// JSON waveform data to peak data in a few blocks of memory: the top-level
// "data" array is found by a scan of the text, the rest of the object is
// read whole (it is small), and the array's values are converted as they are
// read. Same results and reasons as PeaksFromWaveform(DecodeWaveformJson()).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "WaveformData.h"
#include "WaveformValues.h"

namespace kx {

using namespace waveform;

namespace {

constexpr size_t BlockBytes = 1 << 16;

// The file's bytes from `read`, a block at a time.
class BlockReader
{
public:
    BlockReader(uint64_t size, const ExportPeakReader& read) : size_(size), read_(read), block_(BlockBytes) {}
    uint64_t Size() const { return size_; }
    // The byte at pos (pos < Size()); false when it cannot be read.
    bool At(uint64_t pos, uint8_t& c)
    {
        if (pos < start_ || pos >= start_ + filled_) {
            start_ = pos;
            filled_ = size_t(std::min<uint64_t>(BlockBytes, size_ - pos));
            if (!read_(start_, block_.data(), filled_)) {
                filled_ = 0;
                return false;
            }
        }
        c = block_[size_t(pos - start_)];
        return true;
    }

private:
    uint64_t size_;
    const ExportPeakReader& read_;
    std::vector<uint8_t> block_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
};

bool IsSpace(uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where the top-level "data" array lies: from its '[' to just past its ']'.
// False when there is none (the whole text then goes to the object reader,
// which says why) or the text cannot be read.
bool FindDataArray(BlockReader& in, uint64_t from, uint64_t& begin, uint64_t& end, bool& readFailed)
{
    int depth = 0;
    bool inString = false, escaped = false, keyNext = false, dataKey = false;
    std::string text;  // the string being read at depth 1 (only short ones matter)
    for (uint64_t pos = from; pos < in.Size(); ++pos) {
        uint8_t c = 0;
        if (!in.At(pos, c)) {
            readFailed = true;
            return false;
        }
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            else if (depth == 1 && text.size() < 8)
                text += char(c);
            continue;
        }
        if (IsSpace(c))
            continue;
        if (depth == 1 && dataKey && c == '[') {
            begin = pos;
            // The matching bracket, strings skipped.
            int inner = 0;
            bool s = false, e = false;
            for (; pos < in.Size(); ++pos) {
                if (!in.At(pos, c)) {
                    readFailed = true;
                    return false;
                }
                if (s) {
                    if (e)
                        e = false;
                    else if (c == '\\')
                        e = true;
                    else if (c == '"')
                        s = false;
                    continue;
                }
                if (c == '"')
                    s = true;
                else if (c == '[' || c == '{')
                    ++inner;
                else if ((c == ']' || c == '}') && --inner == 0) {
                    end = pos + 1;
                    return true;
                }
            }
            return false;
        }
        dataKey = false;
        if (c == '"') {
            inString = true;
            escaped = false;
            text.clear();
            keyNext = depth == 1;
            continue;
        }
        if (c == ':' && depth == 1 && keyNext) {
            dataKey = text == "data";
            keyNext = false;
            continue;
        }
        keyNext = false;
        if (c == '{' || c == '[')
            ++depth;
        else if (c == '}' || c == ']')
            --depth;
    }
    return false;
}

// A JSON number as the grammar has it: -?(0|[1-9]\d*)(\.\d+)?([eE][+-]?\d+)?
bool JsonNumber(const std::string& t)
{
    size_t i = 0;
    const auto digits = [&] {
        const size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i > start;
    };
    if (i < t.size() && t[i] == '-')
        ++i;
    if (i < t.size() && t[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < t.size() && t[i] == '.' && (++i, !digits()))
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == t.size();
}

} // namespace

bool PeaksFromWaveformJsonStreamed(uint64_t totalSize, const ExportPeakReader& read, const ExportWaveformWriter& write,
                                   QString& error)
{
    if (totalSize > uint64_t(MaxWaveformJsonBytes)) {
        error = QStringLiteral("JSON waveform data over %1 MiB is refused").arg(MaxWaveformJsonBytes >> 20);
        return false;
    }
    BlockReader in(totalSize, read);
    uint64_t from = 0;
    uint8_t c = 0;
    if (totalSize >= 3 && in.At(0, c) && c == 0xEF)
        from = 3;  // a byte-order mark, which the object reader skips too
    uint64_t begin = 0, end = 0;
    bool readFailed = false;
    const bool found = FindDataArray(in, from, begin, end, readFailed);
    if (readFailed) {
        error = QStringLiteral("cannot be read");
        return false;
    }
    // The object without the array's values: small, read whole.
    const uint64_t keptBytes = found ? totalSize - (end - begin) + 2 : totalSize;
    std::vector<uint8_t> object(static_cast<size_t>(keptBytes));
    const uint64_t head = found ? begin : totalSize;
    if (head > 0 && !read(0, object.data(), size_t(head))) {
        error = QStringLiteral("cannot be read");
        return false;
    }
    if (found) {
        object[size_t(begin)] = '[';
        object[size_t(begin) + 1] = ']';
        if (totalSize > end && !read(end, object.data() + begin + 2, size_t(totalSize - end))) {
            error = QStringLiteral("cannot be read");
            return false;
        }
    }
    uint64_t length = 0;
    const auto fields = DecodeJsonFields(object, length, nullptr, error);
    if (!fields)
        return false;
    if (!found) {
        error = QStringLiteral("\"data\" is missing or not an array");
        return false;
    }
    const auto h = WritePeakHeaderFor(*fields, length, write, error);
    if (!h)
        return false;

    // The values, converted a block of pairs at a time.
    const int lo = ValueMin(fields->Bits), hi = ValueMax(fields->Bits);
    const uint64_t expected = length * uint64_t(fields->Channels) * 2;
    constexpr size_t PairsPerBlock = 1 << 14;
    std::vector<int16_t> values;
    values.reserve(PairsPerBlock * 2);
    std::vector<uint8_t> out(PairsPerBlock * size_t(h->BytesPerPeak));
    const auto flush = [&] {
        const uint8_t* last = PairsToPeaks(values.data(), values.size() / 2, fields->Bits, out.data());
        values.clear();
        return write(std::span<const uint8_t>(out.data(), size_t(last - out.data())));
    };
    uint64_t count = 0;
    std::string token;
    bool expectValue = true, sawComma = false;
    const auto take = [&]() -> bool {
        double x = 0;
        const bool number = JsonNumber(token) &&
                            std::from_chars(token.data(), token.data() + token.size(), x).ec == std::errc();
        if (!number || x < lo || x > hi || x != std::floor(x)) {
            error = QStringLiteral("value %1 is not a whole number in %2..%3")
                        .arg(number ? QString::number(x) : QStringLiteral("(not a number)"))
                        .arg(lo)
                        .arg(hi);
            return false;
        }
        ++count;
        if (count <= expected) {
            values.push_back(static_cast<int16_t>(x));
            if (values.size() == PairsPerBlock * 2 && !flush())
                return false;
        }
        token.clear();
        return true;
    };
    for (uint64_t pos = begin + 1; pos + 1 < end; ++pos) {
        if (!in.At(pos, c)) {
            error = QStringLiteral("cannot be read");
            return false;
        }
        if (IsSpace(c) || c == ',') {
            if (!token.empty() && !take())
                return false;
            if (c == ',') {
                if (expectValue) {
                    token = "(missing)";
                    return take();
                }
                expectValue = true;
                sawComma = true;
            }
            continue;
        }
        if (!expectValue && token.empty()) {
            error = QStringLiteral("not JSON: a comma is missing between values");
            return false;
        }
        if (token.size() > 64) {
            token = "(too long)";
            return take();
        }
        token += char(c);
        expectValue = false;
    }
    if (!token.empty() && !take())
        return false;
    if (expectValue && sawComma) {
        error = QStringLiteral("not JSON: a value is missing after the last comma");
        return false;
    }
    if (count != expected) {
        error = QStringLiteral("\"data\" holds %1 values, the length asks for %2").arg(count).arg(expected);
        return false;
    }
    return values.empty() || flush();
}

} // namespace kx
