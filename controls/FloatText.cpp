#include "FloatText.h"

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace kx {

QString FormatFloat(double value, int decimals, bool thousands, const QLocale& locale)
{
    QLocale l(locale);
    QLocale::NumberOptions options = l.numberOptions();
    options.setFlag(QLocale::OmitGroupSeparator, !thousands);
    l.setNumberOptions(options);
    if (value == 0.0)
        value = 0.0; // no "-0.0" for a negative zero
    return l.toString(value, 'f', decimals);
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

double AddStep(double value, double delta)
{
    const double sum = value + delta;
    if (!std::isfinite(sum))
        return sum;
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, sum, std::chars_format::general, 15);
    double rounded = sum;
    std::from_chars(buffer, written.ptr, rounded);
    return rounded;
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
