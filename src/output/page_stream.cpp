#include "output/page_stream.h"

#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

QFont OutputFont::toQFont() const {
    QFont font(face);
    font.setPixelSize(std::max(1, points) * int(kUnitsPerPoint));
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strikeOut);
    // Outlines as designed, so widths measured for the layout hold on every device.
    font.setHintingPreference(QFont::PreferNoHinting);
    // A text's width is then the sum of its characters' advances, which the layout measures
    // quickly and every device draws alike.
    font.setKerning(false);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

void RecordedPage::setFont(int fontIndex) {
    m_steps.push_back({Op::Font, 0, 0, 0, 0, std::uint32_t(fontIndex), 0});
}

void RecordedPage::text(double x, double baseline, const QString& text) {
    if (text.isEmpty())
        return;
    m_steps.push_back({Op::Text, float(x), float(baseline), 0, 0, std::uint32_t(m_text.size()),
                       std::uint32_t(text.size())});
    m_text += text;
}

void RecordedPage::line(double x1, double y1, double x2, double y2, QRgb color) {
    m_steps.push_back({Op::Line, float(x1), float(y1), float(x2), float(y2), color, 0});
}

void RecordedPage::fill(double x, double y, double w, double h, QRgb color) {
    m_steps.push_back({Op::Fill, float(x), float(y), float(w), float(h), color, 0});
}

QStringList RecordedPage::texts() const {
    QStringList out;
    for (const Step& s : m_steps)
        if (s.op == Op::Text)
            out << textAt(s);
    return out;
}

int PageStream::fontIndex(const OutputFont& font) {
    auto it = std::find(m_fontSpecs.begin(), m_fontSpecs.end(), font);
    if (it != m_fontSpecs.end())
        return int(it - m_fontSpecs.begin());
    m_fontSpecs.push_back(font);
    m_fonts.push_back(font.toQFont());
    return int(m_fontSpecs.size()) - 1;
}

void PageStream::draw(QPainter& painter, int index, bool monochrome) const {
    if (index < 0 || index >= pageCount())
        return;
    const RecordedPage& page = m_pages[std::size_t(index)];
    auto ink = [&](QColor c) { return monochrome ? QColor(Qt::black) : c; };
    painter.save();
    for (const RecordedPage::Step& s : page.steps()) {
        switch (s.op) {
        case RecordedPage::Op::Font:
            if (s.a < m_fonts.size()) {
                painter.setFont(m_fonts[s.a]);
                painter.setPen(ink(m_fontSpecs[s.a].color));
            }
            break;
        case RecordedPage::Op::Text:
            painter.drawText(QPointF(s.x1, s.y1), page.textAt(s));
            break;
        case RecordedPage::Op::Line: {
            QPen pen(ink(QColor::fromRgb(s.a)));
            pen.setWidthF(kUnitsPerInch / 100); // a hundredth of an inch
            painter.save();
            painter.setPen(pen);
            painter.drawLine(QPointF(s.x1, s.y1), QPointF(s.x2, s.y2));
            painter.restore();
            break;
        }
        case RecordedPage::Op::Fill: {
            QColor c = QColor::fromRgb(s.a);
            if (monochrome)
                c = QColor(qGray(s.a), qGray(s.a), qGray(s.a));
            painter.fillRect(QRectF(s.x1, s.y1, s.x2, s.y2), c);
            break;
        }
        }
    }
    painter.restore();
}

void PageStream::drawAtZoom(QPainter& painter, int index, double zoomPercent, double deviceDpi,
                            bool monochrome) const {
    painter.save();
    const double scale = deviceDpi / kUnitsPerInch * zoomPercent / 100.0;
    painter.scale(scale, scale);
    painter.fillRect(
        QRectF(0, 0, m_pageSize.width() * kUnitsPerInch, m_pageSize.height() * kUnitsPerInch),
        Qt::white);
    draw(painter, index, monochrome);
    painter.restore();
}

bool PageStream::replay(QPainter& painter, QPagedPaintDevice& device, int first, int last,
                        bool monochrome) const {
    first = std::max(first, 1);
    last = std::min(last, pageCount());
    if (first > last)
        return false;
    // Page units to device pixels; the device's origin is its paper's top left corner.
    const double sx = device.logicalDpiX() / kUnitsPerInch;
    const double sy = device.logicalDpiY() / kUnitsPerInch;
    const QRect paper = device.pageLayout().fullRectPixels(device.logicalDpiX());
    const QRect paint = device.pageLayout().paintRectPixels(device.logicalDpiX());
    for (int n = first; n <= last; ++n) {
        if (n > first && !device.newPage())
            return false;
        painter.save();
        painter.translate(paper.left() - paint.left(), paper.top() - paint.top());
        painter.scale(sx, sy);
        draw(painter, n - 1, monochrome);
        painter.restore();
    }
    return true;
}
