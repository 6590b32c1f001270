// peaktool waveform, the PNG picture: the laid-out shapes painted into an
// image at its own size (no scaling, so every column stays sharp).
#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include "Command.h"
#include "Drawing.h"
#include "WaveformJob.h"
#include "WaveformPicture.h"

namespace kx {

namespace {

QColor ToQColor(Rgba c)
{
    return QColor(int(c >> 24), int(c >> 16 & 0xff), int(c >> 8 & 0xff), int(c & 0xff));
}

QByteArray EncodePng(const PictureLayout& layout, int compression)
{
    QImage image(layout.width, layout.height, QImage::Format_ARGB32);
    image.fill(ToQColor(layout.background));
    {
        QPainter p(&image);
        // Shapes lie on whole pixels; their edges stay hard.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::NoPen);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(layout.fontPixels);
        p.setFont(font);
        for (const PictureShape& s : layout.shapes) {
            const QColor color = ToQColor(s.color);
            switch (s.kind) {
            case PictureShape::Rect:
                p.fillRect(s.x, s.y, s.w, s.h, color);
                break;
            case PictureShape::RoundedRect: {
                p.setRenderHint(QPainter::Antialiasing, true);
                p.setBrush(color);
                const qreal r = qreal(std::min(s.w, s.h)) / 2;
                p.drawRoundedRect(QRectF(s.x, s.y, s.w, s.h), r, r);
                p.setBrush(Qt::NoBrush);
                p.setRenderHint(QPainter::Antialiasing, false);
                break;
            }
            case PictureShape::Text:
                p.setPen(color);
                p.drawText(s.x, s.y, s.text);
                p.setPen(Qt::NoPen);
                break;
            }
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Qt's PNG quality runs the other way: 0 is the strongest compression.
    if (compression >= 0)
        writer.setQuality((9 - compression) * 10);
    if (!writer.write(image))
        return {};
    return png;
}

int Run(CommandLine& line)
{
    return RunWaveform(line, EncodePng);
}

const DrawingRunner runner("waveform", Run);

} // namespace

} // namespace kx
