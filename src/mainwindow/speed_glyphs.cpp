#include "mainwindow/speed_glyphs.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace {

constexpr int kGlyph = 20;

QIcon drawn(const std::function<void(QPainter&)>& paint) {
    QPixmap pm(kGlyph, kGlyph);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return QIcon(pm);
}

void page(QPainter& p, const QRectF& r) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
}

QIcon standard(QStyle::StandardPixmap sp) {
    return QApplication::style()->standardIcon(sp);
}

} // namespace

QIcon speedGlyph(const QString& name) {
    if (name == QLatin1String("NewSpeed"))
        return drawn([](QPainter& p) {
            page(p, QRectF(4.5, 2.5, 11, 15));
            p.setPen(QPen(QColor(200, 150, 0), 2));
            p.drawLine(QPointF(13, 1), QPointF(13, 7));
            p.drawLine(QPointF(10, 4), QPointF(16, 4));
        });
    if (name == QLatin1String("OpenSpeed"))
        return standard(QStyle::SP_DialogOpenButton);
    if (name == QLatin1String("AddSpeed"))
        return drawn([](QPainter& p) {
            p.setPen(QPen(QColor(0, 130, 0), 4));
            p.drawLine(QPointF(10, 3), QPointF(10, 17));
            p.drawLine(QPointF(3, 10), QPointF(17, 10));
        });
    if (name == QLatin1String("EditSpeed"))
        return drawn([](QPainter& p) {
            page(p, QRectF(2.5, 2.5, 11, 15));
            p.setPen(QPen(QColor(30, 30, 160), 3));
            p.drawLine(QPointF(17, 4), QPointF(8, 14));
            p.setPen(QPen(Qt::black, 1));
            p.drawLine(QPointF(8, 14), QPointF(6, 17));
        });
    if (name == QLatin1String("CopySpeed"))
        return drawn([](QPainter& p) {
            page(p, QRectF(2.5, 2.5, 10, 12));
            page(p, QRectF(7.5, 6.5, 10, 12));
        });
    if (name == QLatin1String("DeleteSpeed"))
        return drawn([](QPainter& p) {
            p.setPen(QPen(QColor(190, 0, 0), 3));
            p.drawLine(QPointF(4, 4), QPointF(16, 16));
            p.drawLine(QPointF(16, 4), QPointF(4, 16));
        });
    if (name == QLatin1String("ImportSpeed") || name == QLatin1String("ExportSpeed")) {
        const bool in = name == QLatin1String("ImportSpeed");
        return drawn([in](QPainter& p) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(QColor(220, 220, 160));
            p.drawRect(QRectF(2.5, 11.5, 15, 6));
            p.setPen(QPen(in ? QColor(0, 100, 0) : QColor(0, 0, 160), 2.5));
            p.drawLine(QPointF(10, 1), QPointF(10, 10));
            const qreal tip = in ? 10 : 1;
            const qreal base = in ? 6 : 5;
            p.drawLine(QPointF(10, tip), QPointF(6, base));
            p.drawLine(QPointF(10, tip), QPointF(14, base));
        });
    }
    if (name == QLatin1String("SearchSpeed") || name == QLatin1String("LocateSpeed") ||
        name == QLatin1String("LocateNextSpeed")) {
        const int kind = name == QLatin1String("SearchSpeed")   ? 0
                         : name == QLatin1String("LocateSpeed") ? 1
                                                                : 2;
        return drawn([kind](QPainter& p) {
            p.setPen(QPen(Qt::black, 2));
            p.setBrush(QColor(200, 230, 255));
            p.drawEllipse(QRectF(2, 2, 10, 10));
            p.setPen(QPen(QColor(90, 60, 20), 3));
            p.drawLine(QPointF(11, 11), QPointF(17, 17));
            if (kind == 2) {
                p.setPen(QPen(QColor(0, 120, 0), 2));
                p.drawLine(QPointF(13, 3), QPointF(18, 6));
                p.drawLine(QPointF(18, 6), QPointF(13, 9));
            }
            if (kind == 1) {
                p.setPen(QPen(QColor(160, 0, 0), 2));
                p.drawPoint(QPointF(7, 7));
            }
        });
    }
    if (name == QLatin1String("EndSearchSpeed"))
        return drawn([](QPainter& p) {
            p.setPen(QPen(Qt::black, 2));
            p.setBrush(QColor(200, 230, 255));
            p.drawEllipse(QRectF(2, 2, 10, 10));
            p.setPen(QPen(QColor(190, 0, 0), 2.5));
            p.drawLine(QPointF(11, 11), QPointF(18, 18));
            p.drawLine(QPointF(18, 11), QPointF(11, 18));
        });
    if (name == QLatin1String("ReportSpeed"))
        return drawn([](QPainter& p) {
            page(p, QRectF(5.5, 1.5, 9, 7));
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(QColor(160, 160, 160));
            p.drawRect(QRectF(1.5, 8.5, 17, 7));
            page(p, QRectF(5.5, 13.5, 9, 5));
        });
    if (name == QLatin1String("ViewerSpeed"))
        return drawn([](QPainter& p) {
            page(p, QRectF(1.5, 3.5, 17, 13));
            p.setPen(QPen(QColor(80, 80, 80), 1));
            for (int y = 7; y < 16; y += 3)
                p.drawLine(QPointF(2, y + 0.5), QPointF(18, y + 0.5));
            p.drawLine(QPointF(8.5, 4), QPointF(8.5, 16));
        });
    if (name == QLatin1String("ColorSpeed"))
        return drawn([](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(220, 0, 0));
            p.drawEllipse(QRectF(2, 2, 9, 9));
            p.setBrush(QColor(0, 170, 0));
            p.drawEllipse(QRectF(9, 2, 9, 9));
            p.setBrush(QColor(0, 0, 220));
            p.drawEllipse(QRectF(5.5, 9, 9, 9));
        });
    if (name == QLatin1String("SpeedSetOrder"))
        return drawn([](QPainter& p) {
            p.setPen(QPen(Qt::black, 1));
            QFont f = p.font();
            f.setPixelSize(8);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(0, 0, 10, 10), Qt::AlignCenter, QStringLiteral("A"));
            p.drawText(QRectF(0, 10, 10, 10), Qt::AlignCenter, QStringLiteral("Z"));
            p.setPen(QPen(QColor(0, 0, 160), 2));
            p.drawLine(QPointF(14, 2), QPointF(14, 17));
            p.drawLine(QPointF(14, 17), QPointF(11, 13));
            p.drawLine(QPointF(14, 17), QPointF(17, 13));
        });
    if (name == QLatin1String("HelpSpeed"))
        return drawn([](QPainter& p) {
            p.setPen(QPen(QColor(0, 0, 160), 1));
            QFont f = p.font();
            f.setPixelSize(17);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(0, 0, kGlyph, kGlyph), Qt::AlignCenter, QStringLiteral("?"));
        });
    return {};
}

QIcon navigatorGlyph(int button) {
    // first, prior, next, last, insert, delete, edit, post, cancel, refresh
    return drawn([button](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        auto triangle = [&p](qreal x, bool right) {
            QPainterPath t;
            if (right) {
                t.moveTo(x, 5);
                t.lineTo(x + 6, 10);
                t.lineTo(x, 15);
            } else {
                t.moveTo(x + 6, 5);
                t.lineTo(x, 10);
                t.lineTo(x + 6, 15);
            }
            t.closeSubpath();
            p.drawPath(t);
        };
        switch (button) {
        case 0:
            p.drawRect(QRectF(5, 5, 2, 10));
            triangle(8, false);
            break;
        case 1:
            triangle(7, false);
            break;
        case 2:
            triangle(7, true);
            break;
        case 3:
            triangle(6, true);
            p.drawRect(QRectF(13, 5, 2, 10));
            break;
        case 4:
            p.drawRect(QRectF(9, 4, 2, 12));
            p.drawRect(QRectF(4, 9, 12, 2));
            break;
        case 5:
            p.drawRect(QRectF(4, 9, 12, 2));
            break;
        case 6:
            p.setPen(QPen(Qt::black, 2));
            p.drawLine(QPointF(15, 4), QPointF(6, 13));
            p.drawLine(QPointF(6, 13), QPointF(5, 16));
            break;
        case 7:
            p.setPen(QPen(QColor(0, 130, 0), 2.5));
            p.drawLine(QPointF(4, 10), QPointF(8, 15));
            p.drawLine(QPointF(8, 15), QPointF(16, 4));
            break;
        case 8:
            p.setPen(QPen(QColor(180, 0, 0), 2.5));
            p.drawLine(QPointF(5, 5), QPointF(15, 15));
            p.drawLine(QPointF(15, 5), QPointF(5, 15));
            break;
        default:
            p.setPen(QPen(Qt::black, 2));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(4, 4, 12, 12), 30 * 16, 300 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            QPainterPath head;
            head.moveTo(13, 2);
            head.lineTo(17, 6);
            head.lineTo(12, 8);
            head.closeSubpath();
            p.drawPath(head);
            break;
        }
    });
}
