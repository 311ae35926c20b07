#include "gui/window_place_qt.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void setup_tool_dialog(QDialog* dialog, const QString& caption, int width, int height) {
    dialog->setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    dialog->setWindowTitle(caption);
    dialog->setFixedSize(width, height);
    dialog->setModal(true);
    centre_on_screen(dialog);
}

void centre_on_screen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2);
}
