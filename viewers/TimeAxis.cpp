#include "TimeAxis.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

#include "PeakRender.h"
#include "PeakViewModel.h"

namespace kx {

namespace {

constexpr int64_t Second = 1000, Minute = 60 * Second, Hour = 60 * Minute;
// About 30,000 years.
constexpr double MaxAxisMs = 1e15;

// Each step with the spacing of its minor ticks (0: none).
struct StepEntry {
    int64_t Step;
    int64_t Minor;
};

const std::vector<StepEntry>& StepTable()
{
    static const std::vector<StepEntry> table = [] {
        std::vector<StepEntry> t = {
            {1, 0},
            {2, 1},
            {5, 1},
            {10, 2},
            {20, 5},
            {50, 10},
            {100, 20},
            {200, 50},
            {500, 100},
            {Second, 200},
            {2 * Second, 500},
            {5 * Second, Second},
            {10 * Second, 2 * Second},
            {15 * Second, 5 * Second},
            {30 * Second, 10 * Second},
            {Minute, 10 * Second},
            {2 * Minute, 30 * Second},
            {5 * Minute, Minute},
            {10 * Minute, 2 * Minute},
            {15 * Minute, 5 * Minute},
            {30 * Minute, 10 * Minute},
        };
        // Hours go on 1-2-5 far past any real file.
        for (int64_t h = 1; h <= 1000000; h *= 10) {
            t.push_back({h * Hour, h == 1 ? 10 * Minute : h * Hour / 5});
            t.push_back({2 * h * Hour, h * Hour / 2});
            t.push_back({5 * h * Hour, h * Hour});
        }
        return t;
    }();
    return table;
}

// The first multiple of step at or after ms.
int64_t FirstMultiple(double ms, int64_t step)
{
    return static_cast<int64_t>(std::ceil(ms / double(step))) * step;
}

// Times from the first multiple of step in view to the right edge.
template <typename F>
void ForEachMultiple(double startMs, double msPerPixel, int width, int64_t step, F&& f)
{
    for (int64_t t = FirstMultiple(startMs, step);; t += step) {
        const double x = (double(t) - startMs) / msPerPixel;
        if (x >= width)
            break;
        f(t, x);
    }
}

} // namespace

TimeAxisView TimeAxisViewOf(const PeakViewModel& model)
{
    TimeAxisView v;
    v.Width = model.ClientWidth;
    if (model.Empty() || model.SamplesPerSecond == 0 || model.SamplesPerPeak == 0)
        return v;
    const double secondsPerPeak = double(model.SamplesPerPeak) / double(model.SamplesPerSecond);
    v.StartSeconds = double(model.ScrollPos()) * secondsPerPeak;
    v.SecondsPerPixel = double(model.TimeScaler) * secondsPerPeak;
    v.DurationSeconds = double(model.DurationMs()) / 1000.0;
    return v;
}

QString TimeAxisLabel(int64_t ms, int64_t stepMs, bool hours)
{
    const QString sign = ms < 0 ? QStringLiteral("-") : QString();
    // Unsigned, so that the most negative time has a magnitude too.
    const uint64_t a = ms < 0 ? 0 - uint64_t(ms) : uint64_t(ms);
    const auto two = [](uint64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    constexpr uint64_t s = Second, m = Minute, h = Hour;
    const uint64_t minutes = hours ? a / m % 60 : a / m;
    QString text = hours ? QStringLiteral("%1%2:%3:%4").arg(sign).arg(a / h).arg(two(minutes), two(a / s % 60))
                         : QStringLiteral("%1%2:%3").arg(sign).arg(minutes).arg(two(a / s % 60));
    if (stepMs < Second)
        text += QStringLiteral(".%1").arg(a % s, 3, 10, QLatin1Char('0'));
    return text;
}

const std::vector<int64_t>& TimeAxisSteps()
{
    static const std::vector<int64_t> steps = [] {
        std::vector<int64_t> s;
        for (const StepEntry& e : StepTable())
            s.push_back(e.Step);
        return s;
    }();
    return steps;
}

TimeAxisLayout LayoutTimeAxis(const TimeAxisView& view, const TimeAxisMeasure& measure)
{
    TimeAxisLayout out;
    const double msPerPixel = view.SecondsPerPixel * 1000.0;
    if (view.Width <= 0 || !(msPerPixel > 0) || !std::isfinite(msPerPixel) || !std::isfinite(view.StartSeconds))
        return out;
    const double startMs = view.StartSeconds * 1000.0;
    const double endMs = startMs + view.Width * msPerPixel;
    // Far past any real file the tick arithmetic would leave 64 bits.
    if (std::abs(startMs) > MaxAxisMs || std::abs(endMs) > MaxAxisMs)
        return out;
    const bool hours = view.DurationSeconds >= 3600.0 || endMs >= double(Hour);
    const std::vector<StepEntry>& table = StepTable();
    for (const StepEntry& e : table) {
        const double spacing = double(e.Step) / msPerPixel;
        if (spacing <= TimeAxisLabelGap)
            continue;
        // The label of the right edge is about the widest: a cheap first test.
        const int64_t edge = std::max<int64_t>(0, FirstMultiple(endMs, e.Step) - e.Step);
        if (measure(TimeAxisLabel(edge, e.Step, hours)) + TimeAxisLabelGap > spacing)
            continue;
        std::vector<TimeAxisTick> ticks;
        double widest = 0;
        ForEachMultiple(startMs, msPerPixel, view.Width, e.Step, [&](int64_t t, double x) {
            TimeAxisTick tick{x, t, TimeAxisLabel(t, e.Step, hours)};
            tick.Width = measure(tick.Label);
            widest = std::max(widest, tick.Width);
            if (x + TimeAxisLabelOffset + tick.Width > view.Width) {
                tick.Label.clear();
                tick.Width = 0;
            }
            ticks.push_back(std::move(tick));
        });
        if (widest + TimeAxisLabelGap > spacing)
            continue;
        out.StepMs = e.Step;
        out.Major = std::move(ticks);
        // Minor ticks only where they stay apart.
        if (e.Minor > 0 && double(e.Minor) / msPerPixel >= 4.0) {
            out.MinorMs = e.Minor;
            ForEachMultiple(startMs, msPerPixel, view.Width, e.Minor, [&](int64_t t, double x) {
                if (t % e.Step != 0)
                    out.Minor.push_back({x, t, QString(), 0});
            });
        }
        break;
    }
    return out;
}

void DrawTimeAxis(QImage& image, int top, int height, const TimeAxisView& view, const TimeAxisStyle& style)
{
    if (height <= 0 || image.isNull())
        return;
    const double ratio = image.devicePixelRatio();
    const DeviceScale d{ratio};
    const QFontMetricsF metrics(style.Font, &image);
    const TimeAxisLayout layout =
        LayoutTimeAxis(view, [&metrics](const QString& s) { return metrics.horizontalAdvance(s); });
    // Ticks and lines in device pixels, so they stay one device pixel wide;
    // the viewer's two-pixel frame around the strip is left as it is.
    image.setDevicePixelRatio(1.0);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int dw = image.width();
    const int y0 = d(top), y1 = std::min(d(int64_t(top) + height), image.height() - 2);
    if (y1 <= y0) {
        p.end();
        image.setDevicePixelRatio(ratio);
        return;
    }
    const QRect strip(2, y0, std::max(0, dw - 4), y1 - y0);
    p.setClipRect(strip);
    p.fillRect(strip, style.Background);
    p.fillRect(QRect(0, y0, dw, 2), style.Ticks);
    const int tickTop = y0 + 2, rows = y1 - tickTop;
    const auto column = [ratio](double x) { return int(std::lround(x * ratio)); };
    // Labels stand right of their ticks on the strip's bottom, when it is
    // tall enough for the digits (they have no descent).
    const bool labels = rows / ratio >= metrics.ascent() + 1;
    // The device columns each label covers, so minor ticks stay clear of them.
    std::vector<std::pair<int, int>> covered;
    if (labels) {
        for (const TimeAxisTick& t : layout.Major) {
            if (!t.Label.isEmpty())
                covered.emplace_back(column(t.X + TimeAxisLabelOffset - 1),
                                     column(t.X + TimeAxisLabelOffset + t.Width + 1));
        }
    }
    const int minorLen = std::max(1, rows / 3);
    size_t next = 0;
    for (const TimeAxisTick& t : layout.Minor) {
        const int c = column(t.X);
        while (next < covered.size() && covered[next].second < c)
            ++next;
        if (next < covered.size() && covered[next].first <= c)
            continue;
        p.fillRect(QRect(c, tickTop, 1, minorLen), style.Ticks);
    }
    for (const TimeAxisTick& t : layout.Major)
        p.fillRect(QRect(column(t.X), tickTop, 1, rows), style.Ticks);
    if (labels) {
        p.scale(ratio, ratio);
        p.setFont(style.Font);
        p.setPen(style.Text);
        const double baseline = y1 / ratio - 1;
        for (const TimeAxisTick& t : layout.Major) {
            if (!t.Label.isEmpty())
                p.drawText(QPointF(t.X + TimeAxisLabelOffset, baseline), t.Label);
        }
    }
    p.end();
    image.setDevicePixelRatio(ratio);
}

} // namespace kx
