#include "app/shell_list_qt.h"

#include "views/card_rows.h"
#include "common/ui_text.h"
#include "common/ui_text_qt.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QLocale>
#include <QTreeView>

#include <algorithm>

namespace {

// The host's files in the card list's terms: sizes in the same units and format, and
// the card list's type text for the extensions it has pictures of (.nds, .sav).
// Other types are the desktop's own descriptions, in the language of the window, and
// dates are written the way that language writes them, whatever the system locale.
class HostModel : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;

    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole && index.isValid() && index.column() == DATE_COLUMN)
            return window_locale().toString(lastModified(index), QLocale::ShortFormat);
        if (role == Qt::DisplayRole && index.isValid() && !isDir(index)) {
            if (index.column() == SIZE_COLUMN) return QString::fromStdString(SizeText64(uint64_t(size(index))));
            if (index.column() == TYPE_COLUMN) {
                bool known = false;
                const std::string type = type_text_of(fileInfo(index).fileName().toStdString(), &known);
                if (known) return QString::fromStdString(type);
            }
        }
        if (role == Qt::TextAlignmentRole && index.column() == SIZE_COLUMN)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QFileSystemModel::data(index, role);
    }

    // The first three columns carry the card list's captions, so both panes name
    // them alike; "修改日期" and the rest are Qt's own.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            if (section == 0) return ui_qtext("app", "文件名");
            if (section == SIZE_COLUMN) return ui_qtext("app", "大小");
            if (section == TYPE_COLUMN) return ui_qtext("app", "类型");
        }
        return QFileSystemModel::headerData(section, orientation, role);
    }

private:
    static constexpr int SIZE_COLUMN = 1;
    static constexpr int TYPE_COLUMN = 2;
    static constexpr int DATE_COLUMN = 3;

    static QLocale window_locale() {
        return ui_language() == UiLanguage::English ? QLocale(QLocale::English, QLocale::UnitedStates)
                                                    : QLocale(QLocale::Chinese, QLocale::China);
    }
};

void setup_view(QAbstractItemView* view) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

}  // namespace

ShellList::ShellList(QWidget* parent) : QStackedWidget(parent) {
    details_ = new QTreeView(this);
    details_->setObjectName("RzShellList1Details");
    details_->setRootIsDecorated(false);
    details_->setItemsExpandable(false);
    details_->setUniformRowHeights(true);
    details_->setSortingEnabled(true);
    setup_view(details_);

    icons_ = new QListView(this);
    icons_->setObjectName("RzShellList1Icons");
    icons_->setResizeMode(QListView::Adjust);
    icons_->setMovement(QListView::Static);
    setup_view(icons_);

    addWidget(details_);
    addWidget(icons_);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(details_),
                                    static_cast<QAbstractItemView*>(icons_)})
        connect(view, &QAbstractItemView::activated, this, &ShellList::openItem);

    attachModel();
    setViewStyle(ViewStyle::Details);
}

void ShellList::attachModel() {
    QFileSystemModel* old_model = model_;
    QItemSelectionModel* old_selection = selection_;
    model_ = new HostModel(this);
    model_->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::AllDirs);
    model_->setReadOnly(true);
    // The widgets' provider falls back on the style's icons where the desktop has no
    // icon theme.
    static QFileIconProvider* icons = new QFileIconProvider;
    model_->setIconProvider(icons);
    selection_ = new QItemSelectionModel(model_, this);
    details_->setModel(model_);
    icons_->setModel(model_);
    details_->setSelectionModel(selection_);
    icons_->setSelectionModel(selection_);
    details_->sortByColumn(0, Qt::AscendingOrder);
    // The name takes what the other columns leave, so it grows with the window.
    details_->header()->setStretchLastSection(false);
    details_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    details_->header()->setMinimumSectionSize(60);
    // Room for a whole date and time in either language.
    details_->header()->resizeSection(3, details_->fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00 00:00:00")) + 16);
    delete old_selection;
    delete old_model;
    if (!folder_.isEmpty()) {
        const QModelIndex root = model_->setRootPath(folder_);
        details_->setRootIndex(root);
        icons_->setRootIndex(root);
    }
}

bool ShellList::setFolder(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable()) return false;
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    if (clean == folder_) return true;
    folder_ = clean;
    selection_->clearSelection();
    const QModelIndex root = model_->setRootPath(folder_);
    details_->setRootIndex(root);
    icons_->setRootIndex(root);
    emit folderChanged(folder_);
    return true;
}

bool ShellList::goUp() {
    QDir dir(folder_);
    if (!dir.cdUp()) return false;
    return setFolder(dir.absolutePath());
}

void ShellList::reload() {
    // The model caches what it has read; a fresh model reads the folder again.
    attachModel();
}

void ShellList::setViewStyle(ViewStyle style) {
    style_ = style;
    if (style == ViewStyle::Details) {
        setCurrentWidget(details_);
        return;
    }
    struct Look {
        QListView::ViewMode mode;
        QListView::Flow flow;
        int icon;
        QSize grid;      // an empty size lets the items take their own width
        bool word_wrap;
    };
    const Look look = style == ViewStyle::LargeIcons
                          ? Look{QListView::IconMode, QListView::LeftToRight, 32, {84, 68}, true}
                      : style == ViewStyle::SmallIcons
                          ? Look{QListView::ListMode, QListView::LeftToRight, 16, {160, 22}, false}
                          : Look{QListView::ListMode, QListView::TopToBottom, 16, {}, false};
    icons_->setViewMode(look.mode);
    icons_->setFlow(look.flow);
    icons_->setIconSize(QSize(look.icon, look.icon));
    icons_->setGridSize(look.grid);
    icons_->setWordWrap(look.word_wrap);
    icons_->setWrapping(true);
    icons_->setMovement(QListView::Static);   // the view mode resets these
    icons_->setResizeMode(QListView::Adjust);
    setCurrentWidget(icons_);
}

QStringList ShellList::selectedPaths() const {
    QModelIndexList rows = selection_->selectedRows(0);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList paths;
    for (const QModelIndex& index : rows) paths << model_->filePath(index);
    return paths;
}

int ShellList::itemCount() const { return model_->rowCount(model_->index(folder_)); }

QAbstractItemView* ShellList::currentView() const {
    return style_ == ViewStyle::Details ? static_cast<QAbstractItemView*>(details_)
                                        : static_cast<QAbstractItemView*>(icons_);
}

void ShellList::openItem(const QModelIndex& index) {
    if (model_->isDir(index)) setFolder(model_->filePath(index));
}
