#include "ui/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tavirin {

namespace {

void drawBell(QPainter& p, QRectF r, QColor body) {
    QPainterPath bell;
    const double cx = r.center().x();
    bell.moveTo(cx - r.width() * 0.38, r.bottom() - r.height() * 0.22);
    bell.cubicTo(cx - r.width() * 0.30, r.top() + r.height() * 0.55, cx - r.width() * 0.34,
                 r.top() + r.height() * 0.12, cx, r.top() + r.height() * 0.12);
    bell.cubicTo(cx + r.width() * 0.34, r.top() + r.height() * 0.12, cx + r.width() * 0.30,
                 r.top() + r.height() * 0.55, cx + r.width() * 0.38,
                 r.bottom() - r.height() * 0.22);
    bell.closeSubpath();
    p.setBrush(body);
    p.setPen(QPen(body.darker(160), 1.2));
    p.drawPath(bell);
    p.drawEllipse(QPointF(cx, r.bottom() - r.height() * 0.14), r.width() * 0.08,
                  r.height() * 0.08);
}

QPixmap drawIcon(const QString& name, int s) {
    QPixmap pm(s, s);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(2, 2, s - 4, s - 4);
    QPen pen(QColor(30, 30, 90), s / 12.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (name == QLatin1String("announce")) {
        drawBell(p, r, QColor(250, 200, 40));
    } else if (name == QLatin1String("edit")) {
        p.setPen(pen);
        p.setBrush(QColor(255, 255, 255));
        p.drawEllipse(r.adjusted(2, 2, -2, -2));
        p.drawLine(r.center(), QPointF(r.center().x(), r.top() + s * 0.2));
        p.drawLine(r.center(), QPointF(r.right() - s * 0.25, r.center().y()));
    } else if (name == QLatin1String("device")) {
        p.setPen(pen);
        p.setBrush(QColor(120, 200, 120));
        p.drawRoundedRect(r.adjusted(2, s * 0.2, -2, -s * 0.2), 3, 3);
        p.setBrush(QColor(250, 80, 60));
        p.drawEllipse(QPointF(r.left() + s * 0.3, r.center().y()), s * 0.08, s * 0.08);
    } else if (name == QLatin1String("hide")) {
        p.setPen(pen);
        p.drawLine(QPointF(r.left() + s * 0.2, r.bottom() - s * 0.2),
                   QPointF(r.right() - s * 0.2, r.bottom() - s * 0.2));
        p.drawLine(QPointF(r.center().x(), r.top() + s * 0.2),
                   QPointF(r.center().x(), r.bottom() - s * 0.35));
        p.drawLine(QPointF(r.center().x() - s * 0.15, r.bottom() - s * 0.5),
                   QPointF(r.center().x(), r.bottom() - s * 0.35));
        p.drawLine(QPointF(r.center().x() + s * 0.15, r.bottom() - s * 0.5),
                   QPointF(r.center().x(), r.bottom() - s * 0.35));
    } else if (name == QLatin1String("exit")) {
        pen.setColor(QColor(200, 30, 30));
        pen.setWidthF(s / 8.0);
        p.setPen(pen);
        p.drawArc(r.adjusted(s * 0.15, s * 0.15, -s * 0.15, -s * 0.15), 120 * 16, 300 * 16);
        p.drawLine(QPointF(r.center().x(), r.top() + s * 0.1), r.center());
    } else if (name == QLatin1String("chime")) {
        drawBell(p, r, QColor(240, 180, 60));
    } else if (name == QLatin1String("save")) {
        p.setPen(pen);
        p.setBrush(QColor(60, 110, 200));
        p.drawRect(r.adjusted(2, 2, -2, -2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(r.left() + s * 0.25, r.top() + 2, s * 0.45, s * 0.3));
    } else if (name == QLatin1String("sound")) {
        p.setPen(pen);
        p.setBrush(QColor(60, 60, 60));
        QPolygonF speaker;
        speaker << QPointF(r.left() + s * 0.1, r.center().y() - s * 0.12)
                << QPointF(r.left() + s * 0.3, r.center().y() - s * 0.12)
                << QPointF(r.left() + s * 0.55, r.top() + s * 0.12)
                << QPointF(r.left() + s * 0.55, r.bottom() - s * 0.12)
                << QPointF(r.left() + s * 0.3, r.center().y() + s * 0.12)
                << QPointF(r.left() + s * 0.1, r.center().y() + s * 0.12);
        p.drawPolygon(speaker);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(r.left() + s * 0.45, r.top() + s * 0.3, s * 0.3, s * 0.4), -50 * 16,
                  100 * 16);
    } else if (name == QLatin1String("radio")) {
        p.setPen(pen);
        p.setBrush(QColor(230, 120, 40));
        p.drawRoundedRect(QRectF(r.left(), r.top() + s * 0.35, r.width(), s * 0.55), 3, 3);
        p.drawLine(QPointF(r.left() + s * 0.25, r.top() + s * 0.35),
                   QPointF(r.right() - s * 0.1, r.top()));
    }
    return pm;
}

}  // namespace

QIcon buttonIcon(const QString& name) {
    QIcon icon;
    for (int s : {16, 24, 32, 48}) icon.addPixmap(drawIcon(name, s));
    return icon;
}

QPixmap builtInPicture(const QString& name, QSize size) {
    if (name != QLatin1String("device")) return drawIcon(name, qMin(size.width(), size.height()));
    QPixmap pm(size);
    pm.fill(QColor(255, 255, 128));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // A relay box wired to a serial plug and an amplifier.
    const QRectF box(size.width() * 0.40, size.height() * 0.30, size.width() * 0.22,
                     size.height() * 0.30);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(90, 160, 90));
    p.drawRoundedRect(box, 6, 6);
    p.setBrush(QColor(200, 200, 220));
    const QRectF amp(size.width() * 0.72, size.height() * 0.25, size.width() * 0.22,
                     size.height() * 0.40);
    p.drawRoundedRect(amp, 6, 6);
    p.drawLine(box.right(), box.center().y(), amp.left(), amp.center().y());
    p.drawLine(QPointF(size.width() * 0.20, size.height() * 0.45), QPointF(box.left(), box.center().y()));
    QFont f = p.font();
    f.setPointSize(11);
    p.setFont(f);
    p.drawText(box, Qt::AlignCenter, QStringLiteral("RELAY\nRTS / DTR"));
    p.drawText(amp, Qt::AlignCenter, QStringLiteral("AMP"));
    return pm;
}

QPixmap builtInBackground(QSize size) {
    QPixmap pm(size);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, QColor(192, 192, 255));
    g.setColorAt(1, QColor(140, 150, 230));
    p.fillRect(pm.rect(), g);
    return pm;
}

QIcon programIcon() { return buttonIcon(QStringLiteral("announce")); }

QIcon warningIcon() {
    QIcon icon;
    for (int s : {16, 24, 32, 48}) {
        QPixmap pm = drawIcon(QStringLiteral("announce"), s);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        // a red triangle with "!" over the bell's lower right: seen at a glance in a tray
        const double w = s * 0.62;
        const QPointF o(s - w, s - w);
        QPolygonF tri{o + QPointF(w / 2, 0), o + QPointF(w, w), o + QPointF(0, w)};
        p.setPen(QPen(Qt::white, qMax(1.0, s / 16.0)));
        p.setBrush(QColor(220, 0, 0));
        p.drawPolygon(tri);
        p.setPen(QPen(Qt::white, qMax(1.5, s / 10.0), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(o + QPointF(w / 2, w * 0.35), o + QPointF(w / 2, w * 0.68));
        p.drawPoint(o + QPointF(w / 2, w * 0.84));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace tavirin
