#include "Images.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

namespace kivora::res {

namespace {

const QColor kDeepBlue(0x1d, 0x3d, 0x8f);
const QColor kBrightBlue(0x2f, 0x6f, 0xd8);
const QColor kAccent(0xff, 0xb3, 0x2b);

// A speech bubble with three dots, in a rounded square.
QPixmap DrawIcon(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    QLinearGradient background(0, 0, 0, s);
    background.setColorAt(0, kBrightBlue);
    background.setColorAt(1, kDeepBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(background);
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.22, s * 0.22);

    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(s * 0.16, s * 0.2, s * 0.68, s * 0.46), s * 0.14, s * 0.14);
    QPainterPath tail;
    tail.moveTo(s * 0.3, s * 0.6);
    tail.lineTo(s * 0.24, s * 0.82);
    tail.lineTo(s * 0.48, s * 0.64);
    tail.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(bubble.united(tail));

    p.setBrush(kAccent);
    const qreal r = s * 0.055;
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(s * (0.34 + 0.16 * i), s * 0.43), r, r);
    return pixmap;
}

} // namespace

QIcon AppIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (const int side : {16, 22, 24, 32, 48, 64, 128, 256})
            i.addPixmap(DrawIcon(side));
        return i;
    }();
    return icon;
}

QPixmap RowImage(int index)
{
    static const QPixmap images[2] = {
        [] {
            // A red speech bubble: the visitor asks for a chat.
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            QPainterPath bubble;
            bubble.addRoundedRect(QRectF(1, 2, 14, 9), 3, 3);
            QPainterPath tail;
            tail.moveTo(4, 10);
            tail.lineTo(3, 14.5);
            tail.lineTo(8, 10.5);
            tail.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(210, 0, 0));
            p.drawPath(bubble.united(tail));
            p.setBrush(Qt::white);
            for (int i = 0; i < 3; ++i)
                p.drawEllipse(QPointF(4.5 + 3.5 * i, 6.5), 1.1, 1.1);
            return pixmap;
        }(),
        [] {
            // A blue arrow into a window: an invitation was pushed to the visitor.
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(QColor(0, 0, 210), 1.5));
            p.setBrush(Qt::white);
            p.drawRoundedRect(QRectF(5.5, 1.5, 9, 9), 1.5, 1.5);
            QPainterPath arrow;
            arrow.moveTo(1.5, 14.5);
            arrow.lineTo(9, 7);
            p.drawPath(arrow);
            p.setBrush(QColor(0, 0, 210));
            QPolygonF head;
            head << QPointF(10.5, 5.5) << QPointF(10.5, 10) << QPointF(6, 5.5);
            p.drawPolygon(head);
            return pixmap;
        }(),
    };
    if (index < 0 || index > 1)
        return QPixmap();
    return images[index];
}

QPixmap LoginBanner(const QSize& size)
{
    const int w = qMax(1, size.width());
    const int h = qMax(1, size.height());
    QPixmap pixmap(w, h);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, w, h);
    background.setColorAt(0, kDeepBlue);
    background.setColorAt(1, kBrightBlue);
    p.fillRect(QRect(0, 0, w, h), background);

    const int iconSide = qMax(8, h - h / 3);
    p.drawPixmap(h / 6, (h - iconSide) / 2, DrawIcon(iconSide));

    QFont title(QStringLiteral("Sans Serif"));
    title.setBold(true);
    title.setPixelSize(qMax(8, h * 9 / 20));
    p.setFont(title);
    p.setPen(Qt::white);
    const int textLeft = h / 6 + iconSide + h / 5;
    p.drawText(QRect(textLeft, 0, w - textLeft, h * 2 / 3), Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("Kivora"));
    QFont tagline(QStringLiteral("Sans Serif"));
    tagline.setPixelSize(qMax(6, h / 5));
    p.setFont(tagline);
    p.setPen(QColor(0xdd, 0xe6, 0xff));
    p.drawText(QRect(textLeft, h * 2 / 3, w - textLeft, h / 3), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Live chat for your web site"));
    p.fillRect(QRect(0, h - 2, w, 2), kAccent);
    return pixmap;
}

} // namespace kivora::res
