#include "FloatText.h"

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace kx {

QString FormatFloat(double value, int decimals, bool thousands, const QLocale& locale)
{
    QLocale l(locale);
    QLocale::NumberOptions options = l.numberOptions();
    options.setFlag(QLocale::OmitGroupSeparator, !thousands);
    l.setNumberOptions(options);
    QString text = l.toString(value, 'f', decimals);
    // No "-0.00": a negative zero, or a small negative value rounded to zero,
    // shows no sign (it would also read back as a different text).
    if (value <= 0.0 && text.startsWith(l.negativeSign()) &&
        std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit() && c.digitValue() != 0; }))
        text.remove(0, l.negativeSign().size());
    return text;
}

std::optional<double> ParseFloatText(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;

    std::string number; // the validated text, rebuilt without '+' for from_chars
    if (p < end && (*p == '+' || *p == '-')) {
        if (*p == '-')
            number += '-';
        ++p;
    }
    auto digits = [&] {
        int n = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            number += *p++;
            ++n;
        }
        return n;
    };
    int mantissaDigits = digits();
    if (p < end && *p == '.') {
        number += *p++;
        mantissaDigits += digits();
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (p < end && (*p == 'e' || *p == 'E')) {
        number += 'e';
        ++p;
        if (p < end && (*p == '+' || *p == '-')) {
            if (*p == '-')
                number += '-';
            ++p;
        }
        if (digits() == 0)
            return std::nullopt;
    }
    if (p != end)
        return std::nullopt;

    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec != std::errc() || result.ptr != number.data() + number.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double ButtonStep(double stepValue, bool ctrl, int decimals)
{
    if (stepValue != 0)
        return stepValue;
    if (ctrl)
        return 1.0;
    return std::pow(10.0, -decimals);
}

namespace {

// A finite double as its shortest round-trip decimal: digits * 10^exponent.
struct Decimal {
    bool negative = false;
    std::string digits; // most significant first, no trailing zeros; empty for zero
    int exponent = 0;
};

Decimal ShortestDecimal(double v)
{
    Decimal d;
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific).ptr;
    const char* p = buffer;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    int fractionDigits = 0;
    bool afterPoint = false;
    for (; p < end && *p != 'e'; ++p) {
        if (*p == '.') {
            afterPoint = true;
            continue;
        }
        d.digits += *p;
        if (afterPoint)
            ++fractionDigits;
    }
    int e = 0;
    if (p < end) {
        ++p;
        if (p < end && *p == '+')
            ++p;
        std::from_chars(p, end, e);
    }
    d.exponent = e - fractionDigits;
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
        ++d.exponent;
    }
    if (d.digits.find_first_not_of('0') == std::string::npos)
        d.digits.clear();
    return d;
}

// a + b computed exactly on the operands' shortest decimals, then rounded
// once to the nearest double: 0.2 + 0.1 is 0.3, and no digit is rounded
// away before the sum is taken.
double DecimalSum(double a, double b)
{
    Decimal x = ShortestDecimal(a);
    Decimal y = ShortestDecimal(b);
    if (x.digits.empty() || y.digits.empty())
        return a + b;
    const int low = std::min(x.exponent, y.exponent);
    const int high = std::max(x.exponent + static_cast<int>(x.digits.size()),
                              y.exponent + static_cast<int>(y.digits.size()));
    // Operands this far apart: the smaller one is far below the larger one's
    // last bit, so the binary sum is as good.
    if (high - low > 64)
        return a + b;
    const auto n = static_cast<size_t>(high - low) + 1;
    auto place = [&](const Decimal& d) {
        std::vector<int> v(n, 0); // v[i] is the digit of 10^(low + i)
        const auto shift = static_cast<size_t>(d.exponent - low);
        for (size_t i = 0; i < d.digits.size(); ++i)
            v[shift + d.digits.size() - 1 - i] = d.digits[i] - '0';
        return v;
    };
    std::vector<int> u = place(x);
    std::vector<int> w = place(y);
    bool negative = x.negative;
    if (x.negative == y.negative) {
        int carry = 0;
        for (size_t i = 0; i < n; ++i) {
            const int s = u[i] + w[i] + carry;
            u[i] = s % 10;
            carry = s / 10;
        }
    } else {
        // The larger magnitude minus the smaller one, with the larger one's sign.
        if (std::lexicographical_compare(u.rbegin(), u.rend(), w.rbegin(), w.rend())) {
            std::swap(u, w);
            negative = y.negative;
        }
        int borrow = 0;
        for (size_t i = 0; i < n; ++i) {
            int s = u[i] - w[i] - borrow;
            borrow = s < 0 ? 1 : 0;
            u[i] = s + 10 * borrow;
        }
    }
    size_t top = n;
    while (top > 0 && u[top - 1] == 0)
        --top;
    if (top == 0)
        return 0.0;
    std::string text = negative ? "-" : "";
    for (size_t i = top; i-- > 0;)
        text += static_cast<char>('0' + u[i]);
    text += 'e' + std::to_string(low);
    double sum = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), sum);
    if (result.ec != std::errc())
        return a + b; // out of double range: the binary sum overflows the same way
    return sum;
}

} // namespace

double AddStep(double value, double delta)
{
    if (delta == 0 || !std::isfinite(value) || !std::isfinite(delta))
        return value + delta;
    const double sum = DecimalSum(value, delta);
    if (!std::isfinite(sum) || (delta > 0 ? sum > value : sum < value))
        return sum;
    // The step is below the value's precision: move by the smallest amount
    // there is, so that a click is never lost.
    return std::nextafter(value, delta > 0 ? std::numeric_limits<double>::infinity()
                                           : -std::numeric_limits<double>::infinity());
}

void DrawUpDownButton(QImage& image, bool downHalf, bool pressed, bool enabled, TColor buttonColor,
                      const QPalette& palette)
{
    const int h = image.height();
    if (h < 1 || image.width() < 1)
        return;
    const QColor face = ToQColor(buttonColor, palette);
    const QColor shadow = ToQColor(clBtnShadow, palette);
    const QColor highlight = ToQColor(clBtnHighlight, palette);

    QColor upper = face;
    QColor lower = face;
    if (pressed) {
        if (downHalf)
            lower = shadow;
        else
            upper = shadow;
    }

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);

    const QPoint topLeft(0, 0), bottomLeft(0, h - 1), topRight(h - 1, 0), bottomRight(h - 1, h - 1);
    painter.setBrush(upper);
    painter.setPen(QPen((!pressed && !downHalf) ? highlight : shadow, 1));
    painter.drawPolygon(QPolygon({topLeft, bottomLeft, topRight}));

    painter.setBrush(lower);
    painter.setPen(QPen(shadow, 1));
    painter.drawPolygon(QPolygon({bottomRight, bottomLeft, topRight}));

    if (!pressed) {
        // The raised edge along the diagonal.
        painter.setPen(QPen(highlight, 2));
        painter.drawLine(2, h - 2, h - 2, 2);
        painter.setPen(QPen(shadow, 2));
        painter.drawLine(bottomLeft, topRight);
    }

    const QColor arrow = enabled ? QColor(Qt::black) : ToQColor(kDisabledArrowColor, palette);
    painter.setBrush(arrow);
    painter.setPen(QPen(arrow, 1));
    painter.drawPolygon(QPolygon({QPoint(2 * h / 8, h / 8), QPoint(h / 8, 3 * h / 8), QPoint(3 * h / 8, 3 * h / 8)}));
    painter.drawPolygon(QPolygon({QPoint(5 * h / 8, 5 * h / 8), QPoint(7 * h / 8, 5 * h / 8), QPoint(6 * h / 8, 7 * h / 8)}));
}

} // namespace kx
