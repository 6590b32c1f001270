#include "WavViewer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSaveFile>
#include <QTimerEvent>
#include <algorithm>
#include <climits>

#include "platform/HorzScrollBar.h"
#include "platform/Logging.h"
#include "platform/LittleEndian.h"
#include "platform/MessageBox.h"
#include "platform/PostedEvent.h"
#include "platform/QtInput.h"
#include "platform/Round.h"
#include "wavviewer/WaveDevice.h"

namespace kx {

namespace {

QString InvalidFileText()
{
    return QCoreApplication::translate("TWavViewer", "Invalid file");
}

QString InvalidPathText()
{
    return QCoreApplication::translate("TWavViewer", "Invalid path or protected file");
}

QString MediaNotOpenText()
{
    return QCoreApplication::translate("TWavViewer", "Media can not be open");
}


QPen Pen(TColor color, int width)
{
    QPen pen(ToQColor(color));
    pen.setWidth(width);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

} // namespace

// ---------------------------------------------------------------- TMyPanel

TMyPanel::TMyPanel(TWavViewer* viewer, int tag) : QWidget(viewer), viewer_(viewer), tag_(tag)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TMyPanel::SetColor(TColor color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

void TMyPanel::SetBevels(TBevelCut inner, TBevelCut outer, TBevelWidth width, TBorderWidth border,
                         TBorderStyle style)
{
    bevelInner_ = inner;
    bevelOuter_ = outer;
    bevelWidth_ = std::max(1, width);
    borderWidth_ = std::max(0, border);
    borderStyle_ = style;
    update();
}

void TMyPanel::PaintBevel(QPainter& p, QRect& r, TBevelCut cut) const
{
    if (cut == bvNone)
        return;
    const QPalette& pal = palette();
    const QColor light = cut == bvLowered ? pal.color(QPalette::Dark) : pal.color(QPalette::Light);
    const QColor dark = cut == bvLowered ? pal.color(QPalette::Light) : pal.color(QPalette::Dark);
    for (int i = 0; i < bevelWidth_ && r.width() > 1 && r.height() > 1; ++i) {
        if (cut != bvSpace) {
            p.setPen(light);
            p.drawLine(r.left(), r.top(), r.right(), r.top());
            p.drawLine(r.left(), r.top(), r.left(), r.bottom());
            p.setPen(dark);
            p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
            p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        }
        r.adjust(1, 1, -1, -1);
    }
}

void TMyPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ToQColor(color_, palette()));
    QRect r = rect();
    if (borderStyle_ == bsSingle) {
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    PaintBevel(p, r, bevelOuter_);
    r.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
    PaintBevel(p, r, bevelInner_);
    p.setFont(font());
    if (tag_ == 0) {
        viewer_->PaintChannelInfo(p);
        Fire(viewer_->OnPaintHorzInfo, this, p);
    } else {
        viewer_->PaintTimeMarks(p);
        Fire(viewer_->OnPaintVertInfo, this, p);
    }
}

void TMyPanel::mousePressEvent(QMouseEvent* event)
{
    // A panel is a window of its own: its clicks never reach the peak area.
    event->accept();
}

void TMyPanel::resizeEvent(QResizeEvent*)
{
    viewer_->PanelResized(this);
}

// ---------------------------------------------------------------- TWavViewer

TWavViewer::TWavViewer(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Reached with Tab as well as by a click, so the keys work without a mouse.
    setFocusPolicy(Qt::StrongFocus);
    // The top panel spans the width; the left one lies below it.
    topPanel_ = new TMyPanel(this, 1);
    leftPanel_ = new TMyPanel(this, 0);
    scrollBar_ = new HorzScrollBar(this);
    scrollBar_->OnRequest = [this](int code) { ScrollRequest(code); };
    window_ = std::make_unique<MessageWindow>(
        [this](uint32_t msg, uintptr_t wParam, intptr_t lParam) { DeviceMessage(msg, wParam, lParam); });
    device_ = std::make_unique<WaveDevice>();
    setMinimumSize(46, 48);
    QFont f(QStringLiteral("Arial Narrow"));
    f.setPointSize(9);
    setFont(f);
    UpdatePanelMinimums();
    LayoutChildren();
}

TWavViewer::~TWavViewer()
{
    StopPlayTimer();
    CloseMedia();
    device_.reset();
}

int TWavViewer::ClientWidth() const
{
    return width();
}

int TWavViewer::ClientHeight() const
{
    return std::max(0, height() - scrollBar_->Height());
}

void TWavViewer::SetClientWidth(int value)
{
    resize(value, height());
}

void TWavViewer::SetClientHeight(int value)
{
    resize(width(), value + scrollBar_->Height());
}

int TWavViewer::PeakAreaWidth() const
{
    return ClientWidth() - InfoWidth();
}

int TWavViewer::ScrollPos() const
{
    return scrollBar_->State().nPos;
}

int TWavViewer::LaneCount() const
{
    return info_.DataSize != 0 ? info_.Channels : 2;
}

void TWavViewer::LayoutChildren()
{
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    const int top = std::max(topMin_, std::min(infoHeight_, topMax_));
    const int left = std::max(leftMin_, std::min(infoWidth_, leftMax_));
    topPanel_->setGeometry(0, 0, cw, top);
    leftPanel_->setGeometry(0, top, left, std::max(0, ch - top));
    scrollBar_->Layout();
}

void TWavViewer::UpdatePanelMinimums()
{
    leftPanel_->setFont(font());
    topPanel_->setFont(font());
    if (parentWidget()) {
        const QFontMetrics fm(leftPanel_->font());
        leftMin_ = fm.horizontalAdvance(QStringLiteral("0000"));
        topMin_ = fm.height() + 10;
    } else {
        leftMin_ = 32;
        topMin_ = 28;
    }
    infoWidth_ = std::max(infoWidth_, leftMin_);
    infoHeight_ = std::max(infoHeight_, topMin_);
}

void TWavViewer::PanelResized(TMyPanel* panel)
{
    // The peak area keeps at least 20 pixels each way.
    if (panel->Tag() == 0) {
        const int w = panel->width() + 20;
        if (w != minimumWidth())
            setMinimumWidth(w);
    } else {
        const int h = panel->height() + 20 + scrollBar_->Height();
        if (h != minimumHeight())
            setMinimumHeight(h);
    }
}

void TWavViewer::Repaint()
{
    PaintPeaks(true, nullptr);
}

void TWavViewer::RepaintPanel(TMyPanel* panel)
{
    panel->update();
}

// ---------------------------------------------------------------- file and peaks

void TWavViewer::SetFileName(const QString& value)
{
    if (value == fileName_)
        return;
    if (value.isEmpty()) {
        // Nothing is shown any more, so nothing may keep playing either.
        CloseMedia();
        peakData_.Clear();
        info_.DataSize = 0;
        fileName_.clear();
        UpdateScrollRange();
        Repaint();
        return;
    }
    const QString previous = fileName_;
    fileName_ = value;
    if (!ReadHeader()) {
        qCDebug(lcWavViewer) << "refusing" << value;
        // The previous file, its header and its peaks stay as they were.
        fileName_ = previous;
        return;
    }
    peakData_.Clear();
    CloseMedia();
    unsetCursor();
    UpdateScrollRange();
    Repaint();
}

void TWavViewer::SetPeaksFileExt(const QString& value)
{
    const QString ext = NormalizePeaksFileExt(value);
    if (ext == peaksFileExt_)
        return;
    peaksFileExt_ = ext;
}

bool TWavViewer::ReadHeader()
{
    if (fileName_.isEmpty())
        return false;
    WavInfo info;
    bool ok = false;
    {
        FileByteReader reader(fileName_);
        ok = reader.IsOpen() && ReadWavHeader(reader, info) == WavCheck::Ok;
    }
    if (!ok) {
        ShowMessageBox(this, InvalidFileText());
        return false;
    }
    info_ = info;
    RepaintPanel(leftPanel_);
    return true;
}

bool TWavViewer::Extract(FileByteReader& reader, const WavInfo& info)
{
    peakData_.Clear();
    const int w = PeakAreaWidth();
    const uint32_t framesPerPeak = FramesPerPeakFor(secondsToShow_, info.SampleRate, w, info.BlockAlign);
    const uint32_t bufferSize = BufferSizeFor(secondsToShow_, info.SampleRate, w, info.BlockAlign);
    std::vector<uint8_t> buffer(bufferSize);
    WavPeakExtractor extractor(info, framesPerPeak, peakData_);

    // Only the data chunk holds samples; later chunks are not read.
    uint64_t consumed = 0;
    bool breakProcess = true;
    bool last = false;
    do {
        const uint64_t want = std::min<uint64_t>(bufferSize, info.DataSize - consumed);
        const int64_t n = reader.Read(buffer.data(), static_cast<int64_t>(want));
        if (n < 0)
            return false;
        extractor.Process(buffer.data(), static_cast<size_t>(n));
        consumed += static_cast<uint64_t>(n);
        last = static_cast<uint64_t>(n) < bufferSize;
        if (last)
            extractor.Finish();
        if (OnBuildingPeaks) {
            const float percent =
                info.DataSize ? static_cast<float>(static_cast<double>(consumed) / info.DataSize) : 1.0f;
            OnBuildingPeaks(this, static_cast<int>(std::min<uint64_t>(consumed, INT_MAX)), percent, breakProcess);
        }
    } while (breakProcess && !last);

    info_ = info;
    // A file cut short inside its data: the times follow the samples present.
    if (last && consumed < info.DataSize && consumed >= info.BlockAlign)
        info_.DataSize = static_cast<uint32_t>(consumed - consumed % info.BlockAlign);
    return true;
}

bool TWavViewer::BuildPeaks()
{
    if (info_.DataSize == 0 && !ReadHeader())
        return false;
    bool result = false;
    try {
        FileByteReader reader(fileName_);
        WavInfo info;
        if (!reader.IsOpen() || ReadWavHeader(reader, info) != WavCheck::Ok)
            return false;
        if (!Extract(reader, info))
            return false;
        result = true;
        if (savePeaks_)
            SavePeaksToFile(QString());
        setCursor(Qt::PointingHandCursor);
        UpdateScrollRange();
        RepaintPanel(topPanel_);
        Repaint();
    } catch (...) {
        // A failed build leaves what was reached; the control keeps running.
    }
    return result;
}

bool TWavViewer::SavePeaksToFile(const QString& PeakFileName)
{
    QString name = PeakFileName;
    if (name.isEmpty() && !fileName_.isEmpty())
        name = ReplaceExtension(fileName_, peaksFileExt_);
    bool ok = !name.isEmpty();
    if (ok) {
        // Written beside and renamed into place, so a failed write never leaves half a file.
        QSaveFile file(name);
        ok = file.open(QIODevice::WriteOnly);
        if (ok) {
            const std::vector<uint8_t> header = EncodeWavPeakHeader(info_);
            ok = file.write(reinterpret_cast<const char*>(header.data()), WavPeakHeaderSize) == WavPeakHeaderSize;
            const auto size = static_cast<qint64>(peakData_.Size());
            ok = ok && (size == 0 || file.write(reinterpret_cast<const char*>(peakData_.Data()), size) == size);
            ok = ok && file.commit();
            if (!ok)
                file.cancelWriting();
        }
    }
    if (!ok)
        ShowMessageBox(this, InvalidPathText());
    return ok;
}

// ---------------------------------------------------------------- conversions

int64_t TWavViewer::ValueCount() const
{
    if (info_.DataSize == 0 || info_.BlockAlign == 0)
        return 0;
    return Round(static_cast<double>(peakData_.Size() * info_.Channels) / info_.BlockAlign);
}

int64_t TWavViewer::PeakAtValueIndex(int64_t V) const
{
    if (info_.DataSize == 0 || info_.Channels == 0)
        return 0;
    return Round(static_cast<double>(V) / (2.0 * info_.Channels));
}

int64_t TWavViewer::PeakCount() const
{
    return PeakAtValueIndex(ValueCount());
}

int64_t TWavViewer::ValueIndexAtMs(int64_t Ms) const
{
    if (info_.DataSize == 0 || info_.BlockAlign == 0 || info_.SampleRate <= 0)
        return 0;
    const double seconds = static_cast<double>(info_.DataSize) / info_.BlockAlign / info_.SampleRate;
    return Round(static_cast<double>(ValueCount()) * (static_cast<double>(Ms) / 1000.0) / seconds);
}

int64_t TWavViewer::PeakAtMs(int64_t Ms) const
{
    return PeakAtValueIndex(ValueIndexAtMs(Ms));
}

int64_t TWavViewer::FrameAtValueIndex(int64_t V) const
{
    const int64_t n = ValueCount();
    if (n == 0)
        return 0;
    return Round(static_cast<double>(info_.DataSize) / info_.BlockAlign * static_cast<double>(V) /
                 static_cast<double>(n));
}

int64_t TWavViewer::MsAtValueIndex(int64_t V) const
{
    if (info_.DataSize == 0 || info_.SampleRate <= 0)
        return 0;
    return Round(static_cast<double>(FrameAtValueIndex(V)) / info_.SampleRate * 1000.0);
}

int64_t TWavViewer::ValueIndexAtPixel(int64_t P) const
{
    const ScrollState& s = scrollBar_->State();
    const int64_t divisor = static_cast<int64_t>(s.nMax) - static_cast<int64_t>(s.nPage) + PeakAreaWidth();
    if (divisor <= 0)
        return 0;
    return Round(static_cast<double>(ValueCount()) * static_cast<double>(P) / static_cast<double>(divisor));
}

int64_t TWavViewer::MsAtPixel(int64_t P) const
{
    return MsAtValueIndex(ValueIndexAtPixel(P));
}

// ---------------------------------------------------------------- display setters

void TWavViewer::SetColor(TColor value)
{
    if (value == color_)
        return;
    color_ = value;
    if (!buffer_.isNull())
        Repaint();
}

void TWavViewer::SetBorderColor(TColor value)
{
    if (value == borderColor_)
        return;
    borderColor_ = value;
    RepaintPanel(leftPanel_);
    Repaint();
}

void TWavViewer::SetPeaksColor(TColor value)
{
    if (value == peaksColor_)
        return;
    peaksColor_ = value;
    if (peakData_.Size() > 0)
        Repaint();
}

void TWavViewer::SetPositionColor(TColor value)
{
    if (value == positionColor_)
        return;
    positionColor_ = value;
    const int64_t m = PeakAtMs(position_) - ScrollPos();
    if (peakData_.Size() > 0 && m > 0 && m < ClientWidth())
        Repaint();
}

void TWavViewer::SetMarksColor(TColor value)
{
    if (value == marksColor_)
        return;
    marksColor_ = value;
    RepaintPanel(topPanel_);
}

void TWavViewer::SetMarksInterval(uint8_t value)
{
    // The widest interval is what the view shows, in seconds.
    int64_t limit = MsAtPixel(PeakAreaWidth()) / 1000;
    if (limit < 2)
        limit = ClientWidth() / 5;
    if (value < 2 || value > limit) {
        if (Designing())
            ShowMessageBox(this, QCoreApplication::translate("TWavViewer", "Marks interval must be between 2 and %1").arg(limit));
        return;
    }
    if (value == marksInterval_)
        return;
    marksInterval_ = value;
    RepaintPanel(topPanel_);
}

void TWavViewer::SetSecondsToShow(uint8_t value)
{
    // No density can be derived from an empty view.
    if (value == secondsToShow_ || value == 0)
        return;
    secondsToShow_ = value;
    smallChangeSeconds_ = std::min(smallChangeSeconds_, value);
    largeChangeSeconds_ = std::min(largeChangeSeconds_, value);
    RepaintPanel(topPanel_);
    UpdateScrollRange();
    Repaint();
}

void TWavViewer::SetSmallChangeSeconds(uint8_t value)
{
    if (value == 0 || value == smallChangeSeconds_ || value >= largeChangeSeconds_ || value >= secondsToShow_)
        return;
    smallChangeSeconds_ = value;
}

void TWavViewer::SetLargeChangeSeconds(uint8_t value)
{
    if (value == 0 || value == largeChangeSeconds_ || value <= smallChangeSeconds_ || value >= secondsToShow_)
        return;
    largeChangeSeconds_ = value;
}

int TWavViewer::InfoWidth() const
{
    return leftPanel_->width();
}

void TWavViewer::SetInfoWidth(int value)
{
    if (value == InfoWidth())
        return;
    infoWidth_ = value;
    LayoutChildren();
    infoWidth_ = leftPanel_->width();
    UpdateScrollRange();
    Repaint();
}

int TWavViewer::InfoHeight() const
{
    return topPanel_->height();
}

void TWavViewer::SetInfoHeight(int value)
{
    if (value == InfoHeight())
        return;
    infoHeight_ = value;
    LayoutChildren();
    infoHeight_ = topPanel_->height();
    Repaint();
}

TColor TWavViewer::InfoBackColor() const
{
    return leftPanel_->Color();
}

void TWavViewer::SetInfoBackColor(TColor value)
{
    if (value == leftPanel_->Color())
        return;
    leftPanel_->SetColor(value);
    topPanel_->SetColor(value);
}

TBevelCut TWavViewer::InfoBevelInner() const { return leftPanel_->BevelInner(); }
TBevelCut TWavViewer::InfoBevelOuter() const { return leftPanel_->BevelOuter(); }
TBevelWidth TWavViewer::InfoBevelWidth() const { return leftPanel_->BevelWidth(); }
TBorderWidth TWavViewer::InfoBorderWidth() const { return leftPanel_->BorderWidth(); }
TBorderStyle TWavViewer::InfoBorderStyle() const { return leftPanel_->BorderStyle(); }

void TWavViewer::SetInfoBevelInner(TBevelCut value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(value, p->BevelOuter(), p->BevelWidth(), p->BorderWidth(), p->BorderStyle());
}

void TWavViewer::SetInfoBevelOuter(TBevelCut value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(p->BevelInner(), value, p->BevelWidth(), p->BorderWidth(), p->BorderStyle());
}

void TWavViewer::SetInfoBevelWidth(TBevelWidth value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(p->BevelInner(), p->BevelOuter(), value, p->BorderWidth(), p->BorderStyle());
}

void TWavViewer::SetInfoBorderWidth(TBorderWidth value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(p->BevelInner(), p->BevelOuter(), p->BevelWidth(), value, p->BorderStyle());
}

void TWavViewer::SetInfoBorderStyle(TBorderStyle value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(p->BevelInner(), p->BevelOuter(), p->BevelWidth(), p->BorderWidth(), value);
}

void TWavViewer::SetPosition(int ms)
{
    if (ms == position_)
        return;
    position_ = ms;
    Repaint();
}

// ---------------------------------------------------------------- scrolling

void TWavViewer::UpdateScrollRange()
{
    const int max = peakData_.Size() > 0 ? static_cast<int>(std::clamp<int64_t>(PeakCount(), 0, INT_MAX)) : 0;
    const unsigned page = static_cast<unsigned>(std::max(0, std::min(max, PeakAreaWidth())));
    scrollBar_->State().SetInfo(0, max, page, 0);
    scrollBar_->Sync();
    RepaintPanel(leftPanel_);
    StopPlayTimer();
}

void TWavViewer::SetScrollPosition(int P)
{
    if (P == ScrollPos())
        return;
    scrollBar_->State().SetPos(P);
    scrollBar_->Sync();
    RepaintPanel(topPanel_);
    Repaint();
}

void TWavViewer::DoScroll(int ScrollCode)
{
    ScrollState& s = scrollBar_->State();
    const int64_t line = PeakAtMs(int64_t(smallChangeSeconds_) * 1000);
    const int64_t page = PeakAtMs(int64_t(largeChangeSeconds_) * 1000);
    int64_t p = s.nPos;
    switch (ScrollCode) {
    case SB_LINELEFT: p = s.nPos - line; break;
    case SB_LINERIGHT: p = s.nPos + line; break;
    case SB_PAGELEFT: p = s.nPos - page; break;
    case SB_PAGERIGHT: p = s.nPos + page; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: p = s.nTrackPos; break;
    case SB_LEFT: p = s.nMin; break;
    case SB_RIGHT: p = s.nMax; break;
    default: return;
    }
    if (p == s.nPos)
        return;
    s.SetPos(static_cast<int>(std::min<int64_t>(s.nMax, std::max<int64_t>(s.nMin, p))));
    scrollBar_->Sync();
    Repaint();
    const int64_t c = PeakAtMs(DeviceToMs(PlayPosition()));
    const int pos = s.nPos;
    followPlay_ = c >= pos && pos + PeakAreaWidth() >= c;
    RepaintPanel(topPanel_);
}

void TWavViewer::ScrollRequest(int code)
{
    DoScroll(code);
    int scrollPos = (code == SB_THUMBPOSITION || code == SB_THUMBTRACK) ? scrollBar_->State().nTrackPos : 0;
    Fire(OnScroll, this, code, scrollPos);
}

// ---------------------------------------------------------------- painting

void TWavViewer::PaintPeaks(bool CopyToScreen, TCanvas* Target)
{
    if (buffer_.isNull())
        return;
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    const int x0 = InfoWidth();
    const int y0 = InfoHeight();
    const int lanes = LaneCount();
    const int q = static_cast<int>(Round(leftPanel_->height() / (2.0 * lanes)));
    const int s = ScrollPos();

    QPainter p(&buffer_);
    p.fillRect(buffer_.rect(), ToQColor(color_, palette()));

    if (peakData_.Size() > 0 && q > 0 && info_.BlockAlign > 0) {
        const bool wide = static_cast<double>(info_.BlockAlign) / lanes == 2.0;
        const double fullScale = wide ? 65535.0 : 255.0;
        const double d = fullScale / (2.0 * q);
        const int valueBytes = wide ? 2 : 1;
        const int recordBytes = 2 * info_.BlockAlign;
        const auto bytes = peakData_.Bytes();
        p.setPen(Pen(peaksColor_, 1));
        for (int i = 1; i <= lanes; ++i) {
            const int64_t start = (ValueIndexAtPixel(s) + int64_t(i - 1) * lanes) *
                                  static_cast<int64_t>(Round(static_cast<double>(info_.BlockAlign) / lanes));
            const int bottom = y0 + 2 * i * q;
            QPolygon line;
            line << QPoint(x0, y0 + (2 * i - 1) * q);
            // Columns past the last record stay empty.
            int64_t at = start;
            for (int x = x0; x < cw && at >= 0 && at + 2 * valueBytes <= static_cast<int64_t>(bytes.size());
                 ++x, at += recordBytes) {
                for (int k = 0; k < 2; ++k) {
                    const uint8_t* v = bytes.data() + at + k * valueBytes;
                    const unsigned value = wide ? ReadU16LE(v) : v[0];
                    line << QPoint(x, static_cast<int>(Round(bottom - value / d)));
                }
            }
            p.drawPolyline(line);
        }
    }

    for (int k = 1; k <= 2 * lanes; ++k) {
        p.setPen(Pen(borderColor_, k % 2 ? 1 : 2));
        p.drawLine(x0, y0 + k * q, cw, y0 + k * q);
    }

    if (peakData_.Size() > 0) {
        const int64_t m = PeakAtMs(position_) - s;
        if (m > 0 && m < cw) {
            const int x = x0 + static_cast<int>(m);
            const QColor c = ToQColor(positionColor_, palette());
            p.fillRect(QRect(QPoint(x - 3, y0), QPoint(x + 3, y0 + 2)), c);
            p.fillRect(QRect(QPoint(x - 3, ch - 3), QPoint(x + 3, ch - 1)), c);
            p.setPen(Pen(positionColor_, 2));
            p.drawLine(x, y0 + 3, x, ch - 3);
        }
        pointerX_ = 0;
    }

    p.setPen(Pen(borderColor_, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(x0 + 1, y0 + 1), QPoint(cw - 1, ch - 1)));
    p.end();
    bufferDirty_ = false;

    if (CopyToScreen) {
        const QRect area(QPoint(x0, y0), QPoint(cw - 1, ch - 1));
        if (Target)
            Target->drawImage(area, buffer_, area);
        else
            update(area);
    }
}

void TWavViewer::PaintChannelInfo(TCanvas& Canvas)
{
    const int w = leftPanel_->width();
    const QFontMetrics fm(Canvas.font());
    const int th = fm.height();
    const int tw = fm.horizontalAdvance(QStringLiteral("0"));
    Canvas.setPen(Pen(borderColor_, 1));
    for (int y : ChannelLines()) {
        Canvas.drawLine(0, y, w, y);
        Canvas.drawText(QRect((w - tw) / 2, y - (th + 2), tw, th), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
    }
    if (LaneCount() == 2) {
        const int q = static_cast<int>(Round(leftPanel_->height() / 4.0));
        Canvas.setPen(Pen(borderColor_, 2));
        Canvas.drawLine(0, 2 * q, w, 2 * q);
    }
}

std::vector<int> TWavViewer::ChannelLines() const
{
    const int lanes = LaneCount();
    const int q = static_cast<int>(Round(leftPanel_->height() / (2.0 * lanes)));
    std::vector<int> rows;
    for (int i = 1; i <= lanes; ++i)
        rows.push_back((2 * i - 1) * q);
    return rows;
}

std::vector<TimeMark> TWavViewer::TimeMarks() const
{
    std::vector<TimeMark> marks;
    const int w = PeakAreaWidth();
    const int64_t interval = int64_t(marksInterval_) * 1000;
    const bool records = peakData_.Size() > 0;
    int64_t step = records ? PeakAtMs(interval) : 0;
    if (step == 0 && secondsToShow_ > 0)
        step = Round(static_cast<double>(w) * marksInterval_ / secondsToShow_);
    // Too dense to mark: no step that moves forward.
    if (step <= 0)
        return marks;
    int64_t t = records ? MsAtPixel(ScrollPos()) + interval : 0;
    if (t == 0)
        t = interval;
    const int panelWidth = topPanel_->width();
    for (int64_t x = InfoWidth() + step; x < panelWidth; x += step, t += interval)
        marks.push_back({static_cast<int>(x), t, ClockText(t)});
    return marks;
}

void TWavViewer::PaintTimeMarks(TCanvas& Canvas)
{
    const QFontMetrics fm(Canvas.font());
    const int h = topPanel_->height();
    const QColor c = ToQColor(marksColor_, palette());
    Canvas.setPen(c);
    Canvas.setBrush(c);
    for (const TimeMark& m : TimeMarks()) {
        const QPoint triangle[3] = {{m.X - 3, 1}, {m.X, 7}, {m.X + 3, 1}};
        Canvas.drawPolygon(triangle, 3);
        const int tw = fm.horizontalAdvance(m.Label);
        Canvas.drawText(m.X - tw / 2, h - (fm.height() + 2) + fm.ascent(), m.Label);
    }
}

void TWavViewer::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    if (buffer_.isNull())
        return;
    if (bufferDirty_)
        PaintPeaks(false, nullptr);
    p.drawImage(event->rect(), buffer_, event->rect());
    // The play pointer is an overlay; the buffer never holds it.
    if (pointerX_ > InfoWidth() && pointerX_ < ClientWidth()) {
        p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        p.setPen(Pen(pointerColor_, 1));
        p.drawLine(pointerX_, InfoHeight(), pointerX_, ClientHeight());
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.setFont(font());
    p.setBrush(ToQColor(color_, palette()));
    p.setPen(ToQColor(peaksColor_, palette()));
    Fire(OnPaint, this, p);
}

void TWavViewer::resizeEvent(QResizeEvent*)
{
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    buffer_ = QImage(std::max(1, cw), std::max(1, ch), QImage::Format_RGB32);
    bufferDirty_ = true;
    leftMax_ = std::max(0, cw - 20);
    topMax_ = std::max(0, ch - 20);
    LayoutChildren();
    UpdateScrollRange();
}

void TWavViewer::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ParentChange) {
        UpdatePanelMinimums();
        LayoutChildren();
    } else if (event->type() == QEvent::PaletteChange && !buffer_.isNull()) {
        Repaint();
    }
    QWidget::changeEvent(event);
}

// ---------------------------------------------------------------- mouse and keys

void TWavViewer::SetPositionAt(int X)
{
    const int ms = static_cast<int>(MsAtPixel(int64_t(ScrollPos()) + X - InfoWidth()));
    if (ms == position_)
        return;
    position_ = ms;
    Repaint();
}

void TWavViewer::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (Designing())
            return;
        SetPositionAt(at.x());
        setFocus(Qt::MouseFocusReason);
        Fire(OnButtonDown, this, true, at.x(), at.y());
    } else if (event->button() == Qt::RightButton) {
        Fire(OnButtonDown, this, false, at.x(), at.y());
    }
}

void TWavViewer::keyPressEvent(QKeyEvent* event)
{
    if (Designing()) {
        QWidget::keyPressEvent(event);
        return;
    }
    uint16_t key = VirtualKeyFromQt(event->key());
    const int64_t c = PeakAtMs(position_);
    const int s = ScrollPos();
    if (key == VK_RIGHT || key == VK_LEFT) {
        if (s < c && c < s + PeakAreaWidth()) {
            position_ += key == VK_RIGHT ? 40 : -40;
            bufferDirty_ = true;
            update();
        }
    } else {
        QWidget::keyPressEvent(event);
    }
    Fire(OnKeyDown, this, key, ShiftStateFromQt(event->modifiers()));
    if (OnKeyPress && !event->text().isEmpty()) {
        QChar c = event->text().at(0);
        OnKeyPress(this, c);
    }
}

void TWavViewer::keyReleaseEvent(QKeyEvent* event)
{
    uint16_t key = VirtualKeyFromQt(event->key());
    Fire(OnKeyUp, this, key, ShiftStateFromQt(event->modifiers()));
    QWidget::keyReleaseEvent(event);
}

void TWavViewer::focusInEvent(QFocusEvent* event)
{
    Fire(OnEnter, this);
    QWidget::focusInEvent(event);
}

void TWavViewer::focusOutEvent(QFocusEvent* event)
{
    Fire(OnExit, this);
    QWidget::focusOutEvent(event);
}

// ---------------------------------------------------------------- playback

void TWavViewer::SetPlayingInterval(int value)
{
    if (value == playingInterval_)
        return;
    playingInterval_ = value;
    if (PlayMode() == 2) {
        StopPlayTimer();
        StartPlayTimer();
    }
}

void TWavViewer::StartPlayTimer()
{
    playTimer_.start(std::max(1, playingInterval_), this);
}

void TWavViewer::StopPlayTimer()
{
    playTimer_.stop();
}

int TWavViewer::TimeFormat() const
{
    uint32_t format = 0;
    if (!mediaOpen_ || !device_->StatusTimeFormat(format))
        return 0;
    return static_cast<int>(format > 7 ? format - 7 : format);
}

int64_t TWavViewer::DeviceToMs(int64_t V) const
{
    if (info_.SampleRate <= 0 || info_.BlockAlign == 0)
        return V;
    switch (TimeFormat()) {
    case 0: return V;
    case 1: return Round(static_cast<double>(V) / (double(info_.BlockAlign) * info_.SampleRate) * 1000.0);
    default: return Round(static_cast<double>(V) / info_.SampleRate * 1000.0);
    }
}

int64_t TWavViewer::MsToDevice(int64_t Ms) const
{
    switch (TimeFormat()) {
    case 0: return Ms;
    case 1: return Round(static_cast<double>(Ms) / 1000.0 * info_.SampleRate * info_.BlockAlign);
    default: return Round(static_cast<double>(Ms) / 1000.0 * info_.SampleRate);
    }
}

int64_t TWavViewer::PlayLength() const
{
    if (info_.SampleRate <= 0 || info_.BlockAlign == 0)
        return 0;
    return MsToDevice(Round(static_cast<double>(info_.DataSize) / (double(info_.BlockAlign) * info_.SampleRate) * 1000.0));
}

int TWavViewer::PlayPosition() const
{
    uint32_t position = 0;
    if (!mediaOpen_ || !device_->StatusPosition(position))
        return 0;
    return static_cast<int>(std::min<uint32_t>(position, INT_MAX));
}

int TWavViewer::PlayMode() const
{
    uint32_t mode = 0;
    if (!mediaOpen_ || !device_->StatusMode(mode) || mode < MCI_MODE_NOT_READY)
        return 0;
    const int m = static_cast<int>(mode - MCI_MODE_NOT_READY);
    return m > 4 ? m - 2 : m;
}

void TWavViewer::OpenMedia()
{
    if (mediaOpen_)
        return;
    if (!device_->Open(fileName_, window_.get())) {
        ShowMessageBox(this, MediaNotOpenText());
        return;
    }
    mediaOpen_ = true;
    Repaint();
}

void TWavViewer::CloseMedia()
{
    if (!mediaOpen_)
        return;
    if (device_->Close())
        mediaOpen_ = false;
}

void TWavViewer::Play(bool FromPosition, uint32_t From)
{
    if (!mediaOpen_)
        OpenMedia();
    else if (PlayMode() == 2)
        return;
    if (!mediaOpen_)
        return;
    int64_t start = From;
    if (FromPosition) {
        // Keys can move the position before the start; play from the start then.
        start = MsToDevice(std::max(0, position_));
        followPlay_ = true;
    }
    const int w = PeakAreaWidth();
    const auto v0 = static_cast<uint64_t>(MsToDevice(MsAtPixel(ScrollPos())));
    const uint64_t v1 = v0 + static_cast<uint64_t>(MsToDevice(MsAtPixel(w)));
    const auto s0 = static_cast<uint64_t>(start);
    if (s0 < v0 || s0 > v1) {
        const ScrollState& s = scrollBar_->State();
        const int64_t centred = PeakAtMs(DeviceToMs(start)) - w / 2;
        SetScrollPosition(static_cast<int>(std::min<int64_t>(centred, int64_t(s.nMax) - int64_t(s.nPage))));
    }
    if (!device_->Play(static_cast<uint32_t>(std::clamp<int64_t>(start, 0, UINT32_MAX)), true))
        return;
    playRequested_ = true;
    StartPlayTimer();
}

void TWavViewer::PauseResume()
{
    if (!mediaOpen_)
        return;
    switch (PlayMode()) {
    case 2:
        playRequested_ = false;
        device_->Pause();
        StopPlayTimer();
        break;
    case 3:
        playRequested_ = true;
        device_->Resume();
        StartPlayTimer();
        break;
    default: break;
    }
}

void TWavViewer::Stop()
{
    if (!mediaOpen_)
        return;
    playRequested_ = false;
    device_->Stop();
    StopPlayTimer();
    Repaint();
}

void TWavViewer::UpdatePointer()
{
    const int position = PlayPosition();
    // The device may end a few units short of the computed length: a device
    // that no longer plays has ended too.
    if (position >= PlayLength() || PlayMode() != 2) {
        StopPlayTimer();
        return;
    }
    const int x0 = InfoWidth();
    const int y0 = InfoHeight();
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    if (pointerX_ > 0)
        update(QRect(pointerX_, y0, 1, ch - y0));
    const int64_t x = x0 + PeakAtMs(DeviceToMs(position)) - ScrollPos();
    pointerX_ = static_cast<int>(std::clamp<int64_t>(x, INT_MIN, INT_MAX));
    if (x >= cw && followPlay_) {
        ScrollState& s = scrollBar_->State();
        const int64_t page = PeakAtMs(int64_t(largeChangeSeconds_) * 1000);
        const int64_t next = std::min<int64_t>(s.nMax, std::max<int64_t>(s.nPos + page, s.nPos + 10));
        s.SetPos(static_cast<int>(next));
        scrollBar_->Sync();
        RepaintPanel(topPanel_);
        Repaint();
    } else if (x > x0 && x < cw) {
        update(QRect(pointerX_, y0, 1, ch - y0));
    } else {
        pointerX_ = 0;
    }
}

void TWavViewer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != playTimer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    UpdatePointer();
    Fire(OnPlaying, this, PlayTimerId, PlayPosition());
}

void TWavViewer::DeviceMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    Q_UNUSED(wParam);
    if (msg != MM_MCINOTIFY)
        return;
    // Notifications of a device closed since (another file) must not restart anything.
    if (!mediaOpen_ || static_cast<uint32_t>(lParam) != device_->Id())
        return;
    if (autoLoop_ && playRequested_)
        Play(true, 0);
}

} // namespace kx
