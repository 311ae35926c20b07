#include "app/shell_combo_qt.h"

#include "app/shell_list_qt.h"

#include <QDir>
#include <QFileIconProvider>
#include <QLineEdit>

ShellCombo::ShellCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(20);
    connect(this, &QComboBox::activated, this, &ShellCombo::choose);
    connect(lineEdit(), &QLineEdit::returnPressed, this, &ShellCombo::typed);
}

void ShellCombo::setShellList(ShellList* list) {
    list_ = list;
    connect(list_, &ShellList::folderChanged, this, &ShellCombo::showFolder);
    showFolder(list_->folder());
}

void ShellCombo::showFolder(const QString& path) {
    const QIcon folder_icon = QFileIconProvider().icon(QFileIconProvider::Folder);
    QStringList chain;
    for (QDir dir(path);; ) {
        chain.prepend(QDir::toNativeSeparators(dir.absolutePath()));
        if (!dir.cdUp()) break;
    }
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    blockSignals(true);
    clear();
    if (!chain.contains(home)) addItem(folder_icon, home);
    for (const QString& folder : chain) addItem(folder_icon, folder);
    setCurrentIndex(count() - 1);
    blockSignals(false);
}

void ShellCombo::choose(int index) {
    if (list_ && index >= 0 && !list_->setFolder(QDir::fromNativeSeparators(itemText(index))))
        showFolder(list_->folder());
}

void ShellCombo::typed() {
    if (!list_) return;
    if (!list_->setFolder(QDir::fromNativeSeparators(currentText().trimmed())))
        showFolder(list_->folder());
}
