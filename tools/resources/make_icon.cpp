// Draws the window icon: a bound measurement journal with ruled pages and a
// small dial, 1438 x 1430 pixels with a transparent background.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }

    QImage image(1438, 1430, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Shadow, cover and page block.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(QRectF(250, 150, 1000, 1220), 70, 70);
    p.setBrush(QColor(0x1f, 0x5f, 0x7a));
    p.drawRoundedRect(QRectF(210, 100, 1000, 1220), 70, 70);
    p.setBrush(QColor(0xfb, 0xf8, 0xee));
    p.drawRoundedRect(QRectF(330, 160, 820, 1100), 30, 30);

    // Ruled lines with a margin, like a crew's paper log.
    p.setPen(QPen(QColor(0x9c, 0xb8, 0xd0), 10));
    for (int y = 330; y < 1220; y += 80)
        p.drawLine(QPointF(400, y), QPointF(1090, y));
    p.setPen(QPen(QColor(0xe0, 0x6a, 0x5a), 10));
    p.drawLine(QPointF(480, 190), QPointF(480, 1230));

    // Binding rings along the spine.
    for (int y = 220; y < 1250; y += 140) {
        p.setPen(QPen(QColor(0x60, 0x60, 0x66), 26, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(160, y, 160, 80), 0, 180 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2b, 0x2b, 0x30));
        p.drawEllipse(QPointF(345, y + 40), 16, 16);
    }

    // A small dial on the page: the gauge whose readings the journal keeps.
    const QPointF c(830, 820);
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 14));
    p.setBrush(QColor(0xff, 0xff, 0xe0));
    p.drawEllipse(c, 230, 230);
    p.setPen(QPen(QColor(0xff, 0x63, 0x47), 22, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - 185, c.y() - 185, 370, 370), -60 * 16, 50 * 16);
    p.drawArc(QRectF(c.x() - 185, c.y() - 185, 370, 370), 190 * 16, 50 * 16);
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 22, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(QRectF(c.x() - 185, c.y() - 185, 370, 370), -10 * 16, 200 * 16);
    QPainterPath needle;
    needle.moveTo(c + QPointF(-16, 0));
    needle.lineTo(c + QPointF(110, -150));
    needle.lineTo(c + QPointF(16, 10));
    needle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x10));
    p.drawPath(needle);
    p.drawEllipse(c, 30, 30);
    p.end();

    return image.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
