#include "app/card_list_qt.h"
#include "common/ui_text_qt.h"

#include "app/image_list_qt.h"

#include <QCollator>
#include <QHeaderView>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace {

enum Column { NAME = 0, SIZE = 1, TYPE = 2 };
constexpr int NAME_MIN_WIDTH = 220;
constexpr int SIZE_MIN_WIDTH = 56;
constexpr int TYPE_WIDTH = 64;
constexpr int CAPTION_BYTES = Qt::UserRole;

QLocale collation_locale() {
    const QLocale user = QLocale::system();
    // Without a configured locale ("C"/"POSIX") the collator would compare code units;
    // English has no tailoring, so it stands for the plain linguistic order then.
    if (user.language() == QLocale::C) return QLocale(QLocale::English, QLocale::UnitedStates);
    return user;
}

}  // namespace

std::vector<size_t> caption_order(const QStringList& captions) {
    QCollator collator(collation_locale());
    collator.setCaseSensitivity(Qt::CaseSensitive);
    collator.setNumericMode(false);
    std::vector<size_t> order(size_t(captions.size()));
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return collator.compare(captions[qsizetype(a)], captions[qsizetype(b)]) < 0;
    });
    return order;
}

CardList::CardList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(3);
    setHeaderLabels({ui_qtext("app", "文件名"), ui_qtext("app", "大小"), ui_qtext("app", "类型")});
    headerItem()->setTextAlignment(SIZE, Qt::AlignRight | Qt::AlignVCenter);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setIconSize(QSize(image_list::SIZE, image_list::SIZE));
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(false);
    setTextElideMode(Qt::ElideMiddle);   // both the start and the extension stay visible
    header()->resizeSection(NAME, NAME_MIN_WIDTH);
    header()->resizeSection(SIZE, SIZE_MIN_WIDTH);
    header()->resizeSection(TYPE, TYPE_WIDTH);
    connect(header(), &QHeaderView::sectionClicked, this, &CardList::sortByHeader);
}

void CardList::setRows(const std::vector<CardRow>& rows) {
    clear();
    for (const CardRow& row : rows) {
        auto* item = new QTreeWidgetItem(this);
        item->setText(NAME, QString::fromStdString(row.caption));
        item->setToolTip(NAME, item->text(NAME));   // the whole name where it is elided
        item->setData(NAME, CAPTION_BYTES, QByteArray::fromStdString(row.caption));
        item->setText(SIZE, QString::fromStdString(row.size_text));
        item->setText(TYPE, QString::fromStdString(row.type_text));
        item->setTextAlignment(SIZE, Qt::AlignRight | Qt::AlignVCenter);
        item->setIcon(NAME, image_list::icon(row.picture));
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    }
    sortByCaption();
    fitColumns();
}

void CardList::sortByCaption() {
    header_sort_.reset();
    header()->setSortIndicatorShown(false);
    reorder(caption_order(columnTexts(NAME)));
}

void CardList::sortByHeader(int column) {
    if (column < 0 || column >= columnCount()) return;
    const bool ascending = header_sort_.click(column);
    reorder(header_sort_order(columnBytes(column), ascending));
    header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    header()->setSortIndicatorShown(true);
}

void CardList::reorder(const std::vector<size_t>& order) {
    QList<QTreeWidgetItem*> items;
    while (topLevelItemCount() > 0) items.append(takeTopLevelItem(0));
    QList<QTreeWidgetItem*> sorted;
    for (size_t i : order) sorted.append(items[qsizetype(i)]);
    addTopLevelItems(sorted);
}

void CardList::fitColumns() {
    // "大小" and "类型" take what their texts need (at least their classic widths);
    // "文件名" takes the rest of the list's width, at least 220 pixels, and longer
    // names are elided with the whole name as the row's tool tip.
    const int size = std::max(sizeHintForColumn(SIZE), std::max(header()->sectionSizeHint(SIZE), SIZE_MIN_WIDTH));
    const int type = std::max(sizeHintForColumn(TYPE), std::max(header()->sectionSizeHint(TYPE), TYPE_WIDTH));
    header()->resizeSection(SIZE, size);
    header()->resizeSection(TYPE, type);
    header()->resizeSection(NAME, std::max(NAME_MIN_WIDTH, viewport()->width() - size - type));
}

bool CardList::viewportEvent(QEvent* event) {
    // The viewport changes width with the window and when a scroll bar comes or goes.
    if (event->type() == QEvent::Resize) fitColumns();
    return QTreeWidget::viewportEvent(event);
}

std::vector<std::string> CardList::selectedCaptions() const {
    std::vector<std::string> captions;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            captions.push_back(topLevelItem(i)->data(NAME, CAPTION_BYTES).toByteArray().toStdString());
    return captions;
}

std::vector<std::string> CardList::columnBytes(int column) const {
    std::vector<std::string> texts;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = topLevelItem(i);
        texts.push_back(column == NAME ? item->data(NAME, CAPTION_BYTES).toByteArray().toStdString()
                                       : item->text(column).toStdString());
    }
    return texts;
}

QStringList CardList::columnTexts(int column) const {
    QStringList texts;
    for (int i = 0; i < topLevelItemCount(); ++i) texts << topLevelItem(i)->text(column);
    return texts;
}
