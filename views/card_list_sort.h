// The order of the card list when the user clicks a column header.
//
// Texts compare byte by byte with the ASCII letters folded to lower case, so the size
// column sorts as text ("10.0 MB" before "640 KB"). An empty text counts as larger than
// every other, which puts free-space rows (no type text) last in ascending order and
// first in descending order. The first click on a column sorts ascending, each further
// click on the same column flips the direction, and a click on another column starts
// again ascending.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Strict weak order of the header sort, ascending; empty texts last.
bool header_text_less(const std::string& a, const std::string& b);

// The positions of `texts` in header-sort order (stable: equal texts keep their order).
std::vector<size_t> header_sort_order(const std::vector<std::string>& texts, bool ascending);

// Which column the list is sorted by and in which direction.
class HeaderSortState {
public:
    // Registers a click on `column`; returns true when it now sorts ascending.
    bool click(int column);
    // Forgets the header sort (the list is in caption order again).
    void reset() { column_ = -1; ascending_ = true; }
    int column() const { return column_; }
    bool ascending() const { return ascending_; }

private:
    int column_ = -1;
    bool ascending_ = true;
};
