#pragma once

#include "roster/rostermodel.h"

#include <QImage>
#include <QListView>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <functional>
#include <set>

// Finds which pixel rows of a control each of two rows of text inks, by
// drawing the control three times: with only the upper text, with only the
// lower, and with neither. Rows of the first grab that differ from the empty
// one are the upper text's ink, and so on. Accents above one row and
// descenders below the other are exactly what this catches.
namespace RowInk {

inline const QString Upper = QStringLiteral("ĞÜŞİÖÇ");
inline const QString Lower = QStringLiteral("gyşçğ");

// The rows (in device pixels) where the two images differ.
inline std::set<int> differingRows(const QImage &a, const QImage &b)
{
    std::set<int> rows;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                rows.insert(y);
                break;
            }
        }
    }
    return rows;
}

struct Inked
{
    std::set<int> upper;
    std::set<int> lower;
};

// show(upper, lower) puts the two texts on consecutive rows of the control.
inline Inked rowsOf(QWidget *control, const std::function<void(QString, QString)> &show)
{
    const auto grab = [&](const QString &upper, const QString &lower) {
        show(upper, lower);
        return control->grab().toImage();
    };
    const QImage blank = grab(QString(), QString());
    Inked inked;
    inked.upper = differingRows(grab(Upper, QString()), blank);
    inked.lower = differingRows(grab(QString(), Lower), blank);
    return inked;
}

inline bool share(const Inked &inked)
{
    for (int row : inked.upper) {
        if (inked.lower.count(row))
            return true;
    }
    return false;
}

// The pixel rows the text inks when drawn alone, unclipped, in the font, at
// the device pixel ratio: what a one-line box must show whole.
inline int freeInkHeight(const QString &text, const QFont &font, qreal ratio)
{
    const auto draw = [&](const QString &t) {
        QImage image(QSize(400, 120) * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.drawText(10, 60, t);
        return image;
    };
    return int(differingRows(draw(text), draw(QString())).size());
}

inline void setRows(QListView *list, const QString &upper, const QString &lower)
{
    auto *roster = qobject_cast<RosterModel *>(list->model());
    QVERIFY(roster);
    // A blank rather than nothing, so that each row is there in every grab.
    roster->replaceAll({(upper.isEmpty() ? QStringLiteral(" ") : upper).toUtf8(),
                        (lower.isEmpty() ? QStringLiteral(" ") : lower).toUtf8()});
}

} // namespace RowInk
