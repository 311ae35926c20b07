// The row of the main window's three panes: the host pane on the left with a width the
// window sets, the narrow middle column with its own fixed width, and the card pane
// taking the rest. Sizes are set by hand rather than by a layout so that the left
// pane's width can follow the window's width without limiting how small it gets.
#pragma once

#include <QWidget>

class PaneRow : public QWidget {
    Q_OBJECT
public:
    PaneRow(QWidget* left, QWidget* middle, QWidget* right, QWidget* parent = nullptr);
    void setLeftWidth(int width);
    int leftWidth() const { return left_width_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    QWidget* left_;
    QWidget* middle_;
    QWidget* right_;
    int left_width_ = 0;
};
