// The host folder list: a view of the host's file system in which the user browses
// folders and selects files and folders, several at once. It offers four display
// styles (large icons, small icons, list, details); all four show one model with one
// selection, so switching styles keeps the folder and the selection.
#pragma once

#include <QStackedWidget>
#include <QStringList>

class QAbstractItemView;
class QFileSystemModel;
class QItemSelectionModel;
class QListView;
class QModelIndex;
class QTreeView;

class ShellList : public QStackedWidget {
    Q_OBJECT
public:
    enum class ViewStyle { LargeIcons, SmallIcons, List, Details };

    explicit ShellList(QWidget* parent = nullptr);

    // Shows the folder; false (nothing changes) when `path` is not a readable folder.
    bool setFolder(const QString& path);
    QString folder() const { return folder_; }
    // Shows the parent of the current folder; false at the root.
    bool goUp();
    // Reads the current folder afresh from the file system.
    void reload();

    void setViewStyle(ViewStyle style);
    ViewStyle viewStyle() const { return style_; }

    // Full paths of the selected items, in the list's order.
    QStringList selectedPaths() const;
    // Number of items the list shows for the current folder (as far as read yet).
    int itemCount() const;

    QAbstractItemView* currentView() const;
    QTreeView* detailsView() const { return details_; }
    QListView* iconsView() const { return icons_; }
    QFileSystemModel* model() const { return model_; }

signals:
    void folderChanged(const QString& path);

private:
    void attachModel();
    void openItem(const QModelIndex& index);

    QFileSystemModel* model_ = nullptr;
    QItemSelectionModel* selection_ = nullptr;
    QTreeView* details_ = nullptr;
    QListView* icons_ = nullptr;
    ViewStyle style_ = ViewStyle::Details;
    QString folder_;
};
