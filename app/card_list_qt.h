// The card list: the rows of the card contents view in report style with the columns
// "文件名", "大小" and "类型". Rows stay sorted by caption in the linguistic order of the
// user's locale until the user clicks a column header, which sorts by that column's
// text (see card_list_sort.h) until the next rows arrive.
#pragma once

#include "views/card_list_sort.h"
#include "views/card_rows.h"

#include <QStringList>
#include <QTreeWidget>

#include <string>
#include <vector>

class CardList : public QTreeWidget {
    Q_OBJECT
public:
    explicit CardList(QWidget* parent = nullptr);

    // Replaces all rows and sorts them by caption.
    void setRows(const std::vector<CardRow>& rows);
    // Sorts by a column's text as a click on its header does (toggling the direction).
    void sortByHeader(int column);

    // Captions of the selected rows, in list order, as the card's name bytes (a name
    // that is not valid UTF-8 shows with replacement characters but keeps its bytes).
    std::vector<std::string> selectedCaptions() const;
    // Texts of one column, top to bottom, as shown.
    QStringList columnTexts(int column) const;
    // The same as bytes: the card's name bytes for the caption column.
    std::vector<std::string> columnBytes(int column) const;

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void sortByCaption();
    void reorder(const std::vector<size_t>& order);
    void fitColumns();

    HeaderSortState header_sort_;
};

// Sorts captions in the linguistic, case-sensitive order of the user's locale; the
// positions in sorted order (stable).
std::vector<size_t> caption_order(const QStringList& captions);
