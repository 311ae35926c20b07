#include "views/card_list_sort.h"

#include <algorithm>
#include <numeric>

namespace {

unsigned char folded(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

}  // namespace

bool header_text_less(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return !a.empty() && b.empty();
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return folded(x) < folded(y); });
}

std::vector<size_t> header_sort_order(const std::vector<std::string>& texts, bool ascending) {
    std::vector<size_t> order(texts.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        return ascending ? header_text_less(texts[x], texts[y]) : header_text_less(texts[y], texts[x]);
    });
    return order;
}

bool HeaderSortState::click(int column) {
    if (column == column_) {
        ascending_ = !ascending_;
    } else {
        column_ = column;
        ascending_ = true;
    }
    return ascending_;
}
