#ifndef ITEMPICTURES_H
#define ITEMPICTURES_H

#include <QColor>
#include <QObject>
#include <QVariant>

class QQuickItem;

// Pictures of items as the window shows them, for the QML tests that compare two
// ways of drawing the same thing. Published to every test as `itemPictures`.
class ItemPictures : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The item's part of the window's last frame, as far as it lies within the
    // window; a null image if there is none.
    Q_INVOKABLE QVariant grab(QQuickItem *item) const;

    // The number of pixels whose colours differ by more than `tolerance` (0 to
    // 255) in some channel; -1 if a picture is null or the sizes differ.
    Q_INVOKABLE int pixelsDiffering(const QVariant &a, const QVariant &b, int tolerance) const;

    // The colour most pixels of the picture have: what a text is drawn on.
    // Invalid for a null picture.
    Q_INVOKABLE QColor mostCommonColor(const QVariant &picture) const;
};

#endif // ITEMPICTURES_H
