#include "app/pane_row_qt.h"

#include <algorithm>

PaneRow::PaneRow(QWidget* left, QWidget* middle, QWidget* right, QWidget* parent)
    : QWidget(parent), left_(left), middle_(middle), right_(right) {
    for (QWidget* pane : {left_, middle_, right_}) pane->setParent(this);
}

void PaneRow::setLeftWidth(int width) {
    left_width_ = std::max(0, width);
    place();
}

QSize PaneRow::sizeHint() const { return {700, 400}; }
QSize PaneRow::minimumSizeHint() const { return {middle_->width(), 100}; }

void PaneRow::resizeEvent(QResizeEvent*) { place(); }

void PaneRow::place() {
    const int h = height();
    const int middle = middle_->width();
    const int left = std::min(left_width_, std::max(0, width() - middle));
    left_->setGeometry(0, 0, left, h);
    middle_->setGeometry(left, 0, middle, h);
    right_->setGeometry(left + middle, 0, std::max(0, width() - left - middle), h);
}
