#include "itempictures.h"

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>

#include <cstdlib>

QVariant ItemPictures::grab(QQuickItem *item) const
{
    if (!item || !item->window() || !item->window()->screen())
        return QVariant::fromValue(QImage());
    // QQuickWindow::grabWindow() gives nothing on the offscreen platform with the
    // software renderer; its pixels are in the backing store, which the screen grabs.
    QQuickWindow *window = item->window();
    // Only what lies within the window can be seen.
    const QRect r = item->mapRectToScene(QRectF(0, 0, item->width(), item->height())).toAlignedRect()
            .intersected(QRect(0, 0, window->width(), window->height()));
    if (r.isEmpty())
        return QVariant::fromValue(QImage());
    const QImage image = window->screen()->grabWindow(window->winId(), r.x(), r.y(), r.width(), r.height())
            .toImage().convertToFormat(QImage::Format_RGB32);
    return QVariant::fromValue(image.size() == r.size() ? image : QImage());
}

int ItemPictures::pixelsDiffering(const QVariant &a, const QVariant &b, int tolerance) const
{
    const QImage first = a.value<QImage>();
    const QImage second = b.value<QImage>();
    if (first.isNull() || second.isNull() || first.size() != second.size())
        return -1;
    int differing = 0;
    for (int y = 0; y < first.height(); ++y) {
        const QRgb *p = reinterpret_cast<const QRgb *>(first.constScanLine(y));
        const QRgb *q = reinterpret_cast<const QRgb *>(second.constScanLine(y));
        for (int x = 0; x < first.width(); ++x) {
            if (std::abs(qRed(p[x]) - qRed(q[x])) > tolerance || std::abs(qGreen(p[x]) - qGreen(q[x])) > tolerance
                || std::abs(qBlue(p[x]) - qBlue(q[x])) > tolerance)
                ++differing;
        }
    }
    return differing;
}

QColor ItemPictures::mostCommonColor(const QVariant &picture) const
{
    const QImage image = picture.value<QImage>();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *p = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            ++counts[p[x]];
    }
    QRgb common = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            common = it.key();
        }
    }
    return most > 0 ? QColor(common) : QColor();
}
