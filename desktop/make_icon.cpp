// Draws the program's icon, a clipboard with a house and a ticked list, from one list of
// shapes on a 256-unit square: as SVG for the scalable size and as PNG for the fixed sizes
// of the hicolor theme, so the two never drift apart.
//
//   tallywick-icon OUTDIR     writes OUTDIR/scalable/tallywick-inventory.svg and
//                             OUTDIR/NxN/tallywick-inventory.png for each size

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

constexpr int kCanvas = 256;
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
const char* const kName = "tallywick-inventory";

struct Shape {
    enum Kind { Box, Polygon, Line } kind;
    std::vector<QPointF> points; // Box: top-left and size; others: the points
    double radius = 0;           // Box corners
    QColor fill;                 // invalid: none
    QColor stroke;               // invalid: none
    double width = 0;            // stroke width
};

std::vector<Shape> shapes() {
    const QColor board(0x8b, 0x5a, 0x2b), paper(0xff, 0xfd, 0xf5), edge(0xc8, 0xbf, 0xa8);
    const QColor clip(0x9a, 0xa3, 0xad), roof(0xc0, 0x39, 0x2b), wall(0x2e, 0x6d, 0xa4);
    const QColor tick(0x2e, 0x8b, 0x57), rule(0x7f, 0x8c, 0x8d);
    std::vector<Shape> s = {
        {Shape::Box, {{36, 24}, {184, 220}}, 20, board, {}, 0},
        {Shape::Box, {{56, 50}, {144, 180}}, 4, paper, edge, 3},
        {Shape::Box, {{90, 10}, {76, 40}}, 10, clip, QColor(0x6c, 0x75, 0x7d), 3},
        {Shape::Polygon, {{128, 64}, {84, 104}, {172, 104}}, 0, roof, {}, 0},
        {Shape::Box, {{96, 104}, {64, 42}}, 0, wall, {}, 0},
        {Shape::Box, {{120, 118}, {16, 28}}, 0, paper, {}, 0},
    };
    for (double y : {170.0, 198.0}) {
        s.push_back({Shape::Line, {{70, y}, {78, y + 8}, {92, y - 8}}, 0, {}, tick, 7});
        s.push_back({Shape::Line, {{104, y}, {184, y}}, 0, {}, rule, 7});
    }
    return s;
}

QString svgColour(const QColor& c) {
    return c.isValid() ? c.name() : QStringLiteral("none");
}

QString svg() {
    QString out;
    QTextStream t(&out);
    t << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kCanvas << "\" height=\""
      << kCanvas << "\" viewBox=\"0 0 " << kCanvas << ' ' << kCanvas << "\">\n";
    for (const Shape& s : shapes()) {
        const QString paint = QStringLiteral(" fill=\"%1\" stroke=\"%2\" stroke-width=\"%3\"")
                                  .arg(svgColour(s.fill), svgColour(s.stroke))
                                  .arg(s.width);
        QStringList pts;
        for (const QPointF& p : s.points)
            pts << QStringLiteral("%1,%2").arg(p.x()).arg(p.y());
        switch (s.kind) {
        case Shape::Box:
            t << "  <rect x=\"" << s.points[0].x() << "\" y=\"" << s.points[0].y() << "\" width=\""
              << s.points[1].x() << "\" height=\"" << s.points[1].y() << "\" rx=\"" << s.radius
              << "\"" << paint << "/>\n";
            break;
        case Shape::Polygon:
            t << "  <polygon points=\"" << pts.join(' ') << "\"" << paint << "/>\n";
            break;
        case Shape::Line:
            t << "  <polyline points=\"" << pts.join(' ') << "\"" << paint
              << " stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n";
            break;
        }
    }
    t << "</svg>\n";
    return out;
}

QImage raster(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(double(size) / kCanvas, double(size) / kCanvas);
    for (const Shape& s : shapes()) {
        QPen pen = s.stroke.isValid() ? QPen(s.stroke, s.width) : QPen(Qt::NoPen);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(s.fill.isValid() ? QBrush(s.fill) : QBrush(Qt::NoBrush));
        switch (s.kind) {
        case Shape::Box:
            p.drawRoundedRect(QRectF(s.points[0], QSizeF(s.points[1].x(), s.points[1].y())),
                              s.radius, s.radius);
            break;
        case Shape::Polygon:
            p.drawPolygon(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
            break;
        case Shape::Line:
            p.drawPolyline(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
            break;
        }
    }
    return image;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tallywick-icon OUTDIR\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString file = QString::fromLatin1(kName);
    if (!out.mkpath(QStringLiteral("scalable")) ||
        !writeFile(out.filePath(QStringLiteral("scalable/%1.svg").arg(file)), svg().toUtf8())) {
        std::fprintf(stderr, "tallywick-icon: cannot write the SVG into %s\n", argv[1]);
        return 1;
    }
    for (int size : kSizes) {
        const QString dir = QStringLiteral("%1x%1").arg(size);
        if (!out.mkpath(dir) ||
            !raster(size).save(out.filePath(QStringLiteral("%1/%2.png").arg(dir, file)), "PNG")) {
            std::fprintf(stderr, "tallywick-icon: cannot write the %dx%d PNG into %s\n", size, size,
                         argv[1]);
            return 1;
        }
    }
    return 0;
}
