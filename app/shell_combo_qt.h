// The folder path combo above the host folder list. It offers the current folder, the
// folders above it and the home folder; choosing one, or typing a folder's path and
// pressing Enter, shows that folder in the list, and the list's current folder always
// shows here.
#pragma once

#include <QComboBox>

class ShellList;

class ShellCombo : public QComboBox {
    Q_OBJECT
public:
    explicit ShellCombo(QWidget* parent = nullptr);
    void setShellList(ShellList* list);

private:
    void showFolder(const QString& path);
    void choose(int index);
    void typed();

    ShellList* list_ = nullptr;
};
