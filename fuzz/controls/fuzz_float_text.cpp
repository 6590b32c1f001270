// The float edit's number text: any text through the parser, and any finite
// value through the formatter and back. Formatting with the fixed notation
// must read back as the same shown number (parse(format(x)) formats to the
// same text) within half a unit of the last digit; in grouped or
// comma-decimal locales the text must read back through the locale.
#include <QLocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "controls/FloatText.h"

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const int decimals = int(in.Pick(19));
    const int localeChoice = int(in.Pick(4));
    double value = 0;
    const QByteArray raw = in.Bytes(8);
    if (raw.size() == 8)
        std::memcpy(&value, raw.constData(), 8);
    const QString text = QString::fromUtf8(in.Bytes(in.RestSize()));

    if (const auto parsed = ParseFloatText(text); parsed && !std::isfinite(*parsed))
        __builtin_trap();

    if (!std::isfinite(value) || std::fabs(value) > 1e300)
        return 0;
    static const QLocale locales[] = {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                      QLocale(QLocale::English, QLocale::UnitedStates),
                                      QLocale(QLocale::French, QLocale::France)};
    const QLocale& locale = locales[localeChoice];
    const QString plain = FormatFloat(value, decimals, false, QLocale::c());
    const auto back = ParseFloatText(plain);
    if (!back || FormatFloat(*back, decimals, false, QLocale::c()) != plain)
        __builtin_trap();
    // Within half a unit of the last digit, plus the rounding of a double.
    const double unit = std::pow(10.0, -decimals);
    if (std::fabs(*back - value) > unit / 2 + std::fabs(value) * 1e-15 + 1e-300)
        __builtin_trap();

    for (bool thousands : {false, true}) {
        const QString shown = FormatFloat(value, decimals, thousands, locale);
        bool ok = false;
        const double read = locale.toDouble(shown, &ok);
        if (!ok || FormatFloat(read, decimals, thousands, locale) != shown)
            __builtin_trap();
    }
    return 0;
}
