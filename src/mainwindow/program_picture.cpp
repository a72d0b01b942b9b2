#include "mainwindow/program_picture.h"

#include <QPainter>
#include <QPainterPath>

QPixmap programPicture(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // House: walls, roof, door.
    p.setPen(QPen(QColor(60, 40, 20), 2));
    p.setBrush(QColor(230, 200, 140));
    p.drawRect(QRectF(10, 30, 36, 28));
    QPainterPath roof;
    roof.moveTo(4, 32);
    roof.lineTo(28, 8);
    roof.lineTo(52, 32);
    roof.closeSubpath();
    p.setBrush(QColor(170, 40, 30));
    p.drawPath(roof);
    p.setBrush(QColor(110, 70, 30));
    p.drawRect(QRectF(22, 42, 10, 16));

    // Clipboard with a ticked list in front of the house.
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(38, 28, 22, 32));
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(QRectF(44, 25, 10, 5));
    p.setPen(QPen(QColor(0, 110, 0), 2));
    for (int i = 0; i < 3; ++i) {
        const qreal y = 37 + i * 8;
        p.drawLine(QPointF(41, y), QPointF(43, y + 2));
        p.drawLine(QPointF(43, y + 2), QPointF(46, y - 2));
    }
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    for (int i = 0; i < 3; ++i) {
        const qreal y = 37 + i * 8;
        p.drawLine(QPointF(48, y), QPointF(57, y));
    }
    return pm;
}
