#pragma once

#include <QColor>
#include <QFont>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class QPainter;
class QPagedPaintDevice;

// Page coordinates: 1/720 inch, so every whole point size is a whole number of units.
inline constexpr double kUnitsPerInch = 720.0;
inline constexpr double kUnitsPerPoint = kUnitsPerInch / 72.0;

// A font as reports name it. The QFont is sized in page units, so text measures the same on
// every device and at every zoom.
struct OutputFont {
    QString face = QStringLiteral("Arial");
    int points = 10;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    QColor color = Qt::black;
    bool operator==(const OutputFont&) const = default;

    QFont toQFont() const;
};

// The drawing of one page, kept so it can be drawn again at any scale and sent to a printer
// or PDF later. Compact on purpose: a long report keeps thousands of pages in memory.
class RecordedPage {
public:
    enum class Op : std::uint8_t { Font, Text, Line, Fill };
    struct Step {
        Op op;
        float x1, y1, x2, y2; // page units
        std::uint32_t a;      // Font: font index; Text: text offset; Line/Fill: RGB
        std::uint32_t b;      // Text: length
    };

    void setFont(int fontIndex);
    void text(double x, double baseline, const QString& text);
    void line(double x1, double y1, double x2, double y2, QRgb color);
    void fill(double x, double y, double w, double h, QRgb color);

    const std::vector<Step>& steps() const { return m_steps; }
    QString textAt(const Step& s) const { return m_text.mid(qsizetype(s.a), qsizetype(s.b)); }
    // The page's texts in drawing order, one entry per text drawn.
    QStringList texts() const;
    bool isEmpty() const { return m_steps.empty(); }

private:
    std::vector<Step> m_steps;
    QString m_text;
};

// The recorded pages of one run, with the fonts they use.
class PageStream {
public:
    void setPageSize(QSizeF inches) { m_pageSize = inches; }
    QSizeF pageSize() const { return m_pageSize; }
    int fontIndex(const OutputFont& font); // adds the font when new

    void addPage(RecordedPage page) { m_pages.push_back(std::move(page)); }
    int pageCount() const { return int(m_pages.size()); }
    const RecordedPage& page(int index) const { return m_pages[std::size_t(index)]; }
    void clear() { m_pages.clear(); }

    // Draws page index (from 0) with the painter's current transform taking page units to
    // its device; monochrome draws every colour as black on white.
    void draw(QPainter& painter, int index, bool monochrome = false) const;
    // Draws page index filling a device of the given resolution at the given zoom percentage,
    // from the painter's origin.
    void drawAtZoom(QPainter& painter, int index, double zoomPercent, double deviceDpi,
                    bool monochrome = false) const;
    // Sends pages first..last (from 1, clamped to the stream) to a printer or PDF device that
    // the caller has begun painting; one new page between pages. False when nothing was drawn.
    bool replay(QPainter& painter, QPagedPaintDevice& device, int first, int last,
                bool monochrome = false) const;

private:
    QSizeF m_pageSize{8.5, 11.0};
    std::vector<OutputFont> m_fontSpecs;
    std::vector<QFont> m_fonts;
    std::vector<RecordedPage> m_pages;
};
