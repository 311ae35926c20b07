#include "app/image_list_qt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <array>
#include <cmath>

namespace image_list {

namespace {

// Everything is drawn on a 17 x 17 grid of whole pixels; outlines are one pixel wide.
void box(QPainter& p, int x, int y, int w, int h, const QColor& fill, const QColor& outline) {
    p.fillRect(x, y, w, h, outline);
    p.fillRect(x + 1, y + 1, w - 2, h - 2, fill);
}

void filled_shape(QPainter& p, const QPolygonF& shape, const QColor& fill, const QColor& outline) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(outline, 1.0));
    p.setBrush(fill);
    p.drawPolygon(shape);
    p.restore();
}

void draw_console(QPainter& p) {
    const QColor shell(0xd8, 0xdc, 0xe4), edge(0x4a, 0x51, 0x60), screen(0x20, 0x30, 0x50),
        gleam(0x58, 0x78, 0xb0), dark(0x30, 0x34, 0x3c);
    box(p, 2, 0, 13, 8, shell, edge);          // upper half with the top screen
    p.fillRect(4, 1, 9, 6, screen);
    p.fillRect(5, 2, 3, 1, gleam);
    p.fillRect(3, 8, 11, 1, QColor(0x6a, 0x71, 0x80));  // hinge
    box(p, 1, 9, 15, 8, shell, edge);          // lower half with the touch screen
    p.fillRect(5, 10, 7, 5, screen);
    p.fillRect(6, 11, 2, 1, gleam);
    p.fillRect(2, 12, 3, 1, dark);             // direction pad
    p.fillRect(3, 11, 1, 3, dark);
    p.fillRect(13, 11, 1, 1, QColor(0x20, 0x60, 0xd0));  // four face buttons
    p.fillRect(12, 12, 1, 1, QColor(0x20, 0xa0, 0x40));
    p.fillRect(14, 12, 1, 1, QColor(0xd0, 0x30, 0x30));
    p.fillRect(13, 13, 1, 1, QColor(0xe0, 0xb0, 0x20));
}

void draw_diskette(QPainter& p) {
    const QColor body(0x2f, 0x4f, 0x9f), edge(0x1a, 0x2a, 0x5a);
    box(p, 1, 1, 15, 15, body, edge);
    p.setCompositionMode(QPainter::CompositionMode_Source);   // the cut corner
    p.fillRect(15, 1, 1, 1, Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.fillRect(14, 1, 1, 1, edge);
    p.fillRect(15, 2, 1, 1, edge);
    p.fillRect(5, 2, 7, 5, QColor(0xc8, 0xcc, 0xd4));        // metal shutter
    p.fillRect(9, 3, 2, 3, body);
    box(p, 3, 9, 11, 6, Qt::white, QColor(0x90, 0x98, 0xa8)); // label
    p.fillRect(4, 10, 9, 1, QColor(0xc0, 0x40, 0x40));
    p.fillRect(5, 12, 7, 1, QColor(0xb0, 0xb6, 0xc0));
}

QPolygonF arrow_right() {
    return QPolygonF({{1.5, 6.5}, {8.5, 6.5}, {8.5, 2.5}, {15.5, 8.5}, {8.5, 14.5}, {8.5, 10.5},
                      {1.5, 10.5}});
}

QPolygonF mirrored(const QPolygonF& shape) {
    QPolygonF out;
    for (const QPointF& pt : shape) out << QPointF(SIZE - pt.x(), pt.y());
    return out;
}

void draw_refresh(QPainter& p) {
    const QColor green(0x2e, 0x9e, 0x3e);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF centre(8.5, 8.5);
    const double radius = 5.0;
    const double start = 40.0, span = 280.0;   // degrees, counter-clockwise
    p.setPen(QPen(green, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
              int(start * 16), int(span * 16));
    // Arrow head at the end of the arc, pointing on along it.
    const double end = (start + span) * M_PI / 180.0;
    const QPointF tip_base(centre.x() + radius * std::cos(end), centre.y() - radius * std::sin(end));
    const QPointF along(-std::sin(end), -std::cos(end));
    const QPointF across(along.y(), -along.x());
    p.setPen(Qt::NoPen);
    p.setBrush(green);
    p.drawPolygon(QPolygonF({tip_base + along * 3.5, tip_base + across * 3.2 - along * 0.5,
                             tip_base - across * 3.2 - along * 0.5}));
    p.restore();
}

void draw_parent_folder(QPainter& p) {
    const QColor folder(0xf2, 0xc9, 0x4c), edge(0xa0, 0x78, 0x18);
    box(p, 1, 3, 7, 3, QColor(0xe0, 0xb0, 0x40), edge);   // tab
    box(p, 1, 5, 15, 11, folder, edge);
    filled_shape(p, QPolygonF({{8.5, 6.5}, {12.5, 10.5}, {10.0, 10.5}, {10.0, 14.0}, {7.0, 14.0},
                               {7.0, 10.5}, {4.5, 10.5}}),
                 QColor(0x2e, 0x9e, 0x3e), QColor(0x1c, 0x6a, 0x28));
}

void draw_sheet(QPainter& p) {
    const QColor edge(0x70, 0x78, 0x80);
    p.save();
    p.setPen(edge);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygon({{3, 1}, {10, 1}, {13, 4}, {13, 15}, {3, 15}}));
    p.setBrush(QColor(0xd0, 0xd4, 0xda));
    p.drawPolygon(QPolygon({{10, 1}, {10, 4}, {13, 4}}));
    p.restore();
}

void draw_note_pad(QPainter& p) {
    box(p, 2, 2, 13, 14, QColor(0xff, 0xf6, 0xb0), QColor(0x8a, 0x7a, 0x30));
    p.fillRect(2, 1, 13, 3, QColor(0xc0, 0x39, 0x2b));          // binding
    for (int x : {4, 7, 10, 13}) p.fillRect(x, 0, 1, 3, QColor(0x50, 0x50, 0x50));  // rings
    for (int y : {6, 8, 10, 12, 14}) p.fillRect(4, y, 10, 1, QColor(0x6a, 0x9a, 0xd8));
    p.fillRect(5, 4, 1, 11, QColor(0xe0, 0x80, 0x80));           // margin line
}

void draw_delete(QPainter& p) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0xd0, 0x30, 0x30), 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4.5, 4.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 4.5), QPointF(4.5, 12.5));
    p.restore();
}

void draw_view_list(QPainter& p) {
    for (int y : {1, 5, 9, 13}) {
        box(p, 1, y, 3, 3, QColor(0x8a, 0xb0, 0xe8), QColor(0x2a, 0x58, 0xa0));
        p.fillRect(6, y + 1, 10, 1, QColor(0x50, 0x58, 0x60));
    }
}

void draw(QPainter& p, int n) {
    switch (n) {
    case CONSOLE: draw_console(p); break;
    case DISKETTE: draw_diskette(p); break;
    case COPY_TO_CARD:
        filled_shape(p, arrow_right(), QColor(0x2e, 0x9e, 0x3e), QColor(0x1c, 0x6a, 0x28));
        break;
    case COPY_TO_HOST:
        filled_shape(p, mirrored(arrow_right()), QColor(0x2f, 0x6f, 0xd0), QColor(0x1a, 0x40, 0x88));
        break;
    case REFRESH: draw_refresh(p); break;
    case PARENT_DIR: draw_parent_folder(p); break;
    case SHEET: draw_sheet(p); break;
    case NOTE_PAD: draw_note_pad(p); break;
    case DELETE: draw_delete(p); break;
    case VIEW_LIST: draw_view_list(p); break;
    default: break;
    }
}

}  // namespace

QPixmap picture(int n, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    if (size != SIZE) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.scale(double(size) / SIZE, double(size) / SIZE);
    }
    draw(p, n);
    return pixmap;
}

const QIcon& icon(int n) {
    // Kept for the life of the process: pixmaps must not outlive the application object
    // in static destructors.
    static auto* icons = new std::array<QIcon, COUNT + 1>;
    const size_t slot = (n >= 0 && n < COUNT) ? size_t(n) : size_t(COUNT);
    if (slot < size_t(COUNT) && (*icons)[slot].isNull()) (*icons)[slot] = QIcon(picture(n));
    return (*icons)[slot];
}

}  // namespace image_list
