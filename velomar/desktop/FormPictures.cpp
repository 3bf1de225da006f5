#include "desktop/FormPictures.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int kSize = 16;

QColor FromWindowsColour(unsigned value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

template <class Paint> QPixmap Draw(int w, int h, Paint paint) {
    QPixmap pm(w * 2, h * 2); // drawn at twice the size for crisp edges when scaled
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(2, 2);
    paint(p);
    p.end();
    pm.setDevicePixelRatio(2);
    return pm;
}

QIcon Icon(const std::function<void(QPainter&)>& paint) {
    return QIcon(Draw(kSize, kSize, paint));
}

void Disc(QPainter& p, const QColor& c) {
    QRadialGradient g(QPointF(6, 5), 9);
    g.setColorAt(0, c.lighter(150));
    g.setColorAt(1, c);
    p.setPen(QPen(c.darker(150), 1));
    p.setBrush(g);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void DownArrow(QPainter& p, const QColor& c, QRectF r) {
    const qreal cx = r.center().x();
    QPolygonF arrow{{cx - r.width() * 0.18, r.top()},
                    {cx + r.width() * 0.18, r.top()},
                    {cx + r.width() * 0.18, r.center().y()},
                    {r.right(), r.center().y()},
                    {cx, r.bottom()},
                    {r.left(), r.center().y()},
                    {cx - r.width() * 0.18, r.center().y()}};
    p.setPen(QPen(c.darker(160), 0.8));
    p.setBrush(c);
    p.drawPolygon(arrow);
}

void Check(QPainter& p, const QColor& c, qreal width) {
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{{4, 8.5}, {7, 11.5}, {12, 4.5}});
}

void Cross(QPainter& p, const QColor& c, qreal width) {
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(11, 11));
    p.drawLine(QPointF(11, 5), QPointF(5, 11));
}

} // namespace

QColor SideBarColour() {
    return FromWindowsColour(3342540);
}

QIcon JobStateIcon(int state) {
    switch (state) {
    case 0: // stopped: grey disc with a pause bar pair
        return Icon([](QPainter& p) {
            Disc(p, QColor(128, 132, 140));
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(5.5, 5, 1.8, 6));
            p.drawRect(QRectF(8.7, 5, 1.8, 6));
        });
    case 1: // waiting: amber disc with clock hands
        return Icon([](QPainter& p) {
            Disc(p, QColor(232, 160, 20));
            p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 8), QPointF(8, 4.5));
            p.drawLine(QPointF(8, 8), QPointF(10.5, 9.5));
        });
    case 2: // downloading: blue disc with a down arrow
        return Icon([](QPainter& p) {
            Disc(p, QColor(30, 110, 220));
            DownArrow(p, Qt::white, QRectF(4, 3.5, 8, 9));
        });
    case 3: // completed: green disc with a check mark
        return Icon([](QPainter& p) {
            Disc(p, QColor(40, 160, 60));
            Check(p, Qt::white, 2);
        });
    default: // failed: red disc with a cross
        return Icon([](QPainter& p) {
            Disc(p, QColor(210, 40, 40));
            Cross(p, Qt::white, 2);
        });
    }
}

QIcon LogTypeIcon(int type) {
    switch (type) {
    case 1: // error
        return Icon([](QPainter& p) {
            p.setPen(QPen(QColor(150, 20, 20), 1));
            p.setBrush(QColor(220, 50, 50));
            QPolygonF oct;
            for (int i = 0; i < 8; ++i) {
                const qreal a = qDegreesToRadians(22.5 + 45.0 * i);
                oct << QPointF(8 + 6.5 * std::cos(a), 8 + 6.5 * std::sin(a));
            }
            p.drawPolygon(oct);
            Cross(p, Qt::white, 1.8);
        });
    case 2: // success
        return Icon([](QPainter& p) { Check(p, QColor(30, 150, 50), 2.6); });
    case 4: // server reply: a speech balloon
        return Icon([](QPainter& p) {
            QPainterPath path;
            path.addRoundedRect(QRectF(1.5, 2.5, 13, 9), 2.5, 2.5);
            path.moveTo(4, 11.5);
            path.lineTo(3.5, 14.5);
            path.lineTo(7.5, 11.5);
            p.setPen(QPen(QColor(70, 90, 120), 1));
            p.setBrush(QColor(235, 242, 252));
            p.drawPath(path.simplified());
            p.setPen(QPen(QColor(70, 90, 120), 1));
            p.drawLine(QPointF(4.5, 5.5), QPointF(11.5, 5.5));
            p.drawLine(QPointF(4.5, 8.5), QPointF(9.5, 8.5));
        });
    default: // information (and the unused 3)
        return Icon([](QPainter& p) {
            Disc(p, QColor(40, 100, 200));
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(7, 3.5, 2, 2));
            p.drawRoundedRect(QRectF(7, 6.5, 2, 6), 0.6, 0.6);
        });
    }
}

QIcon ToolIcon(TToolPicture picture) {
    const auto big = [](const std::function<void(QPainter&)>& paint) {
        return QIcon(Draw(24, 24, [&](QPainter& p) {
            p.scale(1.5, 1.5);
            paint(p);
        }));
    };
    switch (picture) {
    case TToolPicture::Add:
        return big([](QPainter& p) {
            Disc(p, QColor(40, 160, 60));
            p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 4.5), QPointF(8, 11.5));
            p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
        });
    case TToolPicture::Edit:
        return big([](QPainter& p) {
            p.setPen(QPen(QColor(90, 90, 90), 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(2.5, 1.5, 9, 12));
            p.setPen(QPen(QColor(150, 150, 150), 1));
            for (qreal y = 4.5; y < 12; y += 2.5)
                p.drawLine(QPointF(4.5, y), QPointF(9.5, y));
            p.setPen(QPen(QColor(140, 80, 20), 1));
            p.setBrush(QColor(240, 180, 60));
            p.drawPolygon(QPolygonF{{8, 13}, {14, 7}, {15.5, 8.5}, {9.5, 14.5}, {7.5, 15}});
        });
    case TToolPicture::Delete:
        return big([](QPainter& p) { Cross(p, QColor(200, 30, 30), 3); });
    case TToolPicture::Start:
        return big([](QPainter& p) {
            p.setPen(QPen(QColor(20, 90, 30), 1));
            p.setBrush(QColor(50, 170, 70));
            p.drawPolygon(QPolygonF{{4, 2.5}, {13.5, 8}, {4, 13.5}});
        });
    case TToolPicture::Stop:
        return big([](QPainter& p) {
            p.setPen(QPen(QColor(130, 20, 20), 1));
            p.setBrush(QColor(210, 50, 50));
            p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
        });
    case TToolPicture::Preferences:
        return big([](QPainter& p) {
            p.setPen(QPen(QColor(80, 80, 90), 2.4, Qt::SolidLine, Qt::FlatCap));
            for (int i = 0; i < 8; ++i) {
                const qreal a = qDegreesToRadians(45.0 * i);
                p.drawLine(QPointF(8 + 4 * std::cos(a), 8 + 4 * std::sin(a)),
                           QPointF(8 + 6.5 * std::cos(a), 8 + 6.5 * std::sin(a)));
            }
            p.setPen(QPen(QColor(80, 80, 90), 1));
            p.setBrush(QColor(170, 175, 185));
            p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(6.2, 6.2, 3.6, 3.6));
        });
    case TToolPicture::AutoUpdate:
        return big([](QPainter& p) {
            p.setPen(QPen(QColor(30, 110, 220), 2.2, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 280 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(30, 110, 220));
            p.drawPolygon(QPolygonF{{10.5, 1.5}, {15, 5.5}, {10, 7}});
        });
    case TToolPicture::Suggestion:
        return big([](QPainter& p) {
            p.setPen(QPen(QColor(90, 90, 100), 1));
            p.setBrush(QColor(250, 245, 225));
            p.drawRect(QRectF(1.5, 3.5, 13, 9));
            p.drawPolyline(QPolygonF{{1.5, 3.5}, {8, 9}, {14.5, 3.5}});
        });
    case TToolPicture::News:
        return big([](QPainter& p) {
            p.setPen(QPen(QColor(90, 90, 100), 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(1.5, 2.5, 13, 11));
            p.setPen(Qt::NoPen);
            p.setBrush(SideBarColour());
            p.drawRect(QRectF(3, 4, 10, 2.5));
            p.setPen(QPen(QColor(140, 140, 140), 1));
            for (qreal y = 8.5; y < 13; y += 2)
                p.drawLine(QPointF(3, y), QPointF(13, y));
        });
    }
    return {};
}

namespace {

void Swoosh(QPainter& p, QRectF r, const QColor& c) {
    // A stylised "V" with a motion line: the mark of the program.
    QPainterPath v;
    v.moveTo(r.left(), r.top());
    v.lineTo(r.left() + r.width() * 0.3, r.top());
    v.lineTo(r.center().x(), r.bottom() - r.height() * 0.3);
    v.lineTo(r.right() - r.width() * 0.3, r.top());
    v.lineTo(r.right(), r.top());
    v.lineTo(r.center().x(), r.bottom());
    v.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(v);
}

} // namespace

QPixmap SmallLogo() {
    return Draw(96, 24, [](QPainter& p) {
        Swoosh(p, QRectF(2, 4, 18, 16), SideBarColour());
        QFont f;
        f.setPixelSize(15);
        f.setBold(true);
        f.setItalic(true);
        p.setFont(f);
        p.setPen(QColor(60, 60, 70));
        p.drawText(QRectF(22, 0, 74, 24), Qt::AlignVCenter | Qt::AlignLeft, "Velomar");
    });
}

QPixmap BigLogo(int height) {
    height = std::max(height, 160);
    return Draw(36, height, [height](QPainter& p) {
        p.fillRect(QRectF(0, 0, 36, height), SideBarColour());
        QLinearGradient shade(0, 0, 36, 0);
        shade.setColorAt(0, QColor(255, 255, 255, 40));
        shade.setColorAt(1, QColor(0, 0, 0, 40));
        p.fillRect(QRectF(0, 0, 36, height), shade);
        p.save();
        p.translate(26, height - 10);
        p.rotate(-90);
        QFont f;
        f.setPixelSize(20);
        f.setBold(true);
        f.setItalic(true);
        p.setFont(f);
        p.setPen(QColor(255, 255, 255, 235));
        p.drawText(QPointF(24, 0), "Velomar");
        Swoosh(p, QRectF(0, -15, 18, 15), QColor(255, 255, 255, 235));
        p.restore();
    });
}

QIcon ProgramIcon() {
    QPixmap pm = Draw(32, 32, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(SideBarColour());
        p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
        Swoosh(p, QRectF(5, 7, 22, 19), Qt::white);
    });
    return QIcon(pm);
}
