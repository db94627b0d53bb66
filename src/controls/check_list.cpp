#include "controls/check_list.h"

#include <algorithm>

namespace vantor {

void CheckList::setUpHeader() {
    if (ready) return;
    ready = true;
    headerBox = false;
}

std::size_t CheckList::addRow(CheckListRow row) {
    list.push_back(std::move(row));
    if (onChanged) onChanged();
    return list.size() - 1;
}

void CheckList::clear() {
    list.clear();
    if (onChanged) onChanged();
}

void CheckList::headerClick(int column) {
    if (column != 0 || !ready) return;
    headerBox = !headerBox;
    for (auto& row : list) row.checked = headerBox;
    if (onChanged) onChanged();
}

void CheckList::setRowCheck(std::size_t row, bool checked) {
    if (row >= list.size()) return;
    list[row].checked = checked;
    rowChanged();
}

void CheckList::clickRowCheckBox(std::size_t row) {
    if (row >= list.size()) return;
    const bool was = list[row].checked;
    setRowCheck(row, !was);
    if (onRowCheckClicked) onRowCheckClicked(row, was);
}

void CheckList::rowChanged() {
    if (ready)
        headerBox = std::none_of(list.begin(), list.end(), [](const CheckListRow& r) { return !r.checked; });
    if (onChanged) onChanged();
}

}  // namespace vantor
