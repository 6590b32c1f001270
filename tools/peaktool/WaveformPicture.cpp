#include "WaveformPicture.h"

#include <algorithm>
#include <cmath>

#include "peaks/WaveformGenerator.h"

namespace kx {

namespace {

// Tick marks reach this far into the picture from its top and bottom edges.
constexpr int TickPixels = 10;
// Labels are at least this far apart, so that "0:00:00" never runs into the next.
constexpr int MinLabelPixels = 60;

// The y of a value in a band [top, top + height): full scale at its edges.
int ValueY(int value, int top, int height)
{
    return top + int((int64_t(INT16_MAX - value) * (height - 1)) / 65535);
}

void AddRect(PictureLayout& l, int x, int y, int w, int h, Rgba color, PictureShape::Kind kind = PictureShape::Rect)
{
    if (w > 0 && h > 0)
        l.shapes.push_back(PictureShape{kind, x, y, w, h, color, {}});
}

void Waveform(PictureLayout& l, const WaveformJob& job, const PictureColumns& c, const std::vector<int16_t>& values,
              int left, int top, int columns, int height)
{
    const int bands = c.channels;
    const size_t count = std::min(c.Count(), size_t(columns));
    for (int ch = 0; ch < bands; ++ch) {
        const int bandTop = top + height * ch / bands;
        const int bandHeight = top + height * (ch + 1) / bands - bandTop;
        if (!job.bars) {
            for (size_t i = 0; i < count; ++i) {
                const int mn = values[(i * size_t(bands) + size_t(ch)) * 2];
                const int mx = values[(i * size_t(bands) + size_t(ch)) * 2 + 1];
                const int y0 = ValueY(mx, bandTop, bandHeight), y1 = ValueY(mn, bandTop, bandHeight);
                AddRect(l, left + int(i), y0, 1, y1 - y0 + 1, job.colors.waveform);
            }
            continue;
        }
        // Bars: each stands for its columns and the gap after it (no audio
        // goes unseen), drawn about the middle at the loudest magnitude.
        const int step = job.barWidth + job.barGap;
        for (size_t first = 0; first < count; first += size_t(step)) {
            const size_t last = std::min(count, first + size_t(job.barWidth));
            int peak = 0;
            for (size_t i = first; i < std::min(count, first + size_t(step)); ++i)
                peak = std::max({peak, std::abs(int(values[(i * size_t(bands) + size_t(ch)) * 2])),
                                 std::abs(int(values[(i * size_t(bands) + size_t(ch)) * 2 + 1]))});
            peak = std::min(peak, int(INT16_MAX));
            const int y0 = ValueY(peak, bandTop, bandHeight), y1 = ValueY(-peak, bandTop, bandHeight);
            AddRect(l, left + int(first), y0, int(last - first), y1 - y0 + 1, job.colors.waveform,
                    job.roundedBars ? PictureShape::RoundedRect : PictureShape::Rect);
        }
    }
}

} // namespace

QString TimeLabel(int64_t seconds)
{
    const int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

int64_t LabelStep(double secondsPerColumn, int minPixels)
{
    static const int64_t steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 18000, 36000, 86400};
    for (int64_t s : steps)
        if (double(s) / secondsPerColumn >= minPixels)
            return s;
    // Beyond a day a tick, whole days.
    return int64_t(std::ceil(minPixels * secondsPerColumn / 86400)) * 86400;
}

int PictureColumnCount(const WaveformJob& job)
{
    return std::max(0, job.width - (job.axisLabels ? 2 : 0));
}

PictureLayout LayOutPicture(const WaveformJob& job, const PictureColumns& c)
{
    PictureLayout l;
    l.width = job.width;
    l.height = job.height;
    l.background = job.colors.background;
    const int inset = job.axisLabels ? 1 : 0;
    const int columns = PictureColumnCount(job);
    const int height = std::max(1, job.height - 2 * inset);

    std::vector<int16_t> values = c.values;
    const size_t inView = std::min(c.Count(), size_t(columns)) * size_t(2 * c.channels);
    const double scale = job.amplitudeScale == 0 ? AutoAmplitudeScale(values.data(), inView) : job.amplitudeScale;
    if (scale != 1)
        for (int16_t& v : values)
            v = ScaleWaveformValue(v, scale);
    Waveform(l, job, c, values, inset, inset, columns, height);

    if (!job.axisLabels || c.secondsPerColumn <= 0)
        return l;
    const Rgba border = job.colors.border, label = job.colors.axisLabels;
    AddRect(l, 0, 0, job.width, 1, border);
    AddRect(l, 0, job.height - 1, job.width, 1, border);
    AddRect(l, 0, 0, 1, job.height, border);
    AddRect(l, job.width - 1, 0, 1, job.height, border);
    const int64_t step = LabelStep(c.secondsPerColumn, MinLabelPixels);
    for (int64_t t = int64_t(std::ceil(c.startSeconds / double(step))) * step;; t += step) {
        const int x = inset + int(std::floor((double(t) - c.startSeconds) / c.secondsPerColumn));
        if (x >= inset + columns)
            break;
        AddRect(l, x, 0, 1, TickPixels, border);
        AddRect(l, x, job.height - TickPixels, 1, TickPixels, border);
        l.shapes.push_back(PictureShape{PictureShape::Text, x + 3, TickPixels + l.fontPixels, 0, 0, label,
                                        TimeLabel(t)});
    }
    return l;
}

namespace {

QString SvgColor(Rgba c)
{
    return QStringLiteral("#%1\" fill-opacity=\"%2").arg(c >> 8, 6, 16, QLatin1Char('0')).arg(double(c & 0xff) / 255);
}

} // namespace

QByteArray PictureSvg(const PictureLayout& l)
{
    QString s = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                               "viewBox=\"0 0 %1 %2\" shape-rendering=\"crispEdges\">\n")
                    .arg(l.width)
                    .arg(l.height);
    s += QStringLiteral("<rect width=\"%1\" height=\"%2\" fill=\"%3\"/>\n").arg(l.width).arg(l.height).arg(SvgColor(l.background));
    for (const PictureShape& p : l.shapes) {
        switch (p.kind) {
        case PictureShape::Rect:
            s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                     .arg(p.x).arg(p.y).arg(p.w).arg(p.h).arg(SvgColor(p.color));
            break;
        case PictureShape::RoundedRect:
            s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" fill=\"%6\"/>\n")
                     .arg(p.x).arg(p.y).arg(p.w).arg(p.h).arg(double(std::min(p.w, p.h)) / 2).arg(SvgColor(p.color));
            break;
        case PictureShape::Text:
            s += QStringLiteral("<text x=\"%1\" y=\"%2\" font-family=\"DejaVu Sans, sans-serif\" font-size=\"%3\" "
                                "fill=\"%4\">%5</text>\n")
                     .arg(p.x).arg(p.y).arg(l.fontPixels).arg(SvgColor(p.color), p.text.toHtmlEscaped());
            break;
        }
    }
    s += QStringLiteral("</svg>\n");
    return s.toUtf8();
}

} // namespace kx
