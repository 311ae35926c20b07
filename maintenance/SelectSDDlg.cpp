#include "maintenance/SelectSDDlg.h"
#include "common/ui_text_qt.h"

#include "gui/window_place_qt.h"
#include "gui/dialog_buttons_qt.h"
#include "maintenance/card_models.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int GROUP_HEIGHT = 157;
constexpr int NAME_WIDTH = 220;    // also the name column's least width
constexpr int SPEED_WIDTH = 48;    // also the speed column's greatest width

// Qt's header keeps one minimum and one maximum for all its columns; these two
// columns have bounds of their own, so a drag beyond them is set back.
void bound_columns(QTreeWidget* list) {
    QHeaderView* header = list->header();
    QObject::connect(header, &QHeaderView::sectionResized, list,
                     [header](int column, int, int width) {
                         int bounded = width;
                         if (column == 0) bounded = std::max(width, NAME_WIDTH);
                         if (column == 1) bounded = std::min(width, SPEED_WIDTH);
                         if (bounded != width) header->resizeSection(column, bounded);
                     });
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName("Form2");
    setup_tool_dialog(this, ui_qtext("maintenance", "选择SD卡"), 312, 192);

    RzGroupBox1 = new QGroupBox(ui_qtext("maintenance", "在下面的列表中选择TF卡的品牌和型号"), this);
    RzGroupBox1->setObjectName("RzGroupBox1");
    RzGroupBox1->setFixedHeight(GROUP_HEIGHT);

    RzListView1 = new QTreeWidget(RzGroupBox1);
    RzListView1->setObjectName("RzListView1");
    RzListView1->setColumnCount(2);
    RzListView1->setHeaderLabels({ui_qtext("maintenance", "品牌和型号"), ui_qtext("maintenance", "速度")});
    RzListView1->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    RzListView1->setRootIsDecorated(false);
    RzListView1->setItemsExpandable(false);
    RzListView1->setUniformRowHeights(true);
    RzListView1->setSortingEnabled(false);
    RzListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    RzListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    RzListView1->setAllColumnsShowFocus(true);
    RzListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    RzListView1->header()->setStretchLastSection(false);
    RzListView1->header()->setSectionsMovable(false);
    RzListView1->setColumnWidth(0, NAME_WIDTH);
    RzListView1->setColumnWidth(1, SPEED_WIDTH);
    bound_columns(RzListView1);

    const OkCancelRow bottom = ok_cancel_row(this, "Button1", "Button2");
    Button1 = bottom.ok;
    Button2 = bottom.cancel;
    // Enter presses the focused button; in the list it takes the selected row.
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);

    auto* inside = new QVBoxLayout(RzGroupBox1);
    inside->setContentsMargins(6, 4, 6, 6);
    inside->addWidget(RzListView1);
    bottom.layout->setContentsMargins(0, 0, 8, 5);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(RzGroupBox1);
    layout->addStretch();
    layout->addLayout(bottom.layout);

    // The list is not sorted, so item i stands for row i of the table.
    fill_card_model_table();
    for (size_t row = 0; row < card_model_table.size(); ++row) {
        const PARTITION_INFO_T& model = card_model_table[row];
        auto* item = new QTreeWidgetItem(RzListView1);
        item->setText(0, QString::fromStdString(card_model_caption(row)));
        item->setText(1, QString::asprintf("%d", int(model.speed)));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TForm2::FormShow() { Button2->setFocus(Qt::OtherFocusReason); }

void TForm2::Button1Click() {
    const QList<QTreeWidgetItem*> selected = RzListView1->selectedItems();
    SelectedModel = selected.isEmpty() ? -1 : RzListView1->indexOfTopLevelItem(selected.first());
    accept();
}
