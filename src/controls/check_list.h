#pragma once
// The check-box list with a check-all box in the header of its first column,
// as plain data. A Qt view draws it and forwards header and row clicks.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantor {

struct CheckListRow {
    std::vector<std::string> columns;
    std::uint64_t data = 0;  // what the row shows: a tree item or an entry
    bool hasData = false;
    bool checked = false;
};

class CheckList {
public:
    // Gives the first column's header its box, unchecked. A second call does nothing.
    void setUpHeader();
    bool headerReady() const { return ready; }
    bool headerChecked() const { return headerBox; }

    std::size_t addRow(CheckListRow row);
    void clear();
    const std::vector<CheckListRow>& rows() const { return list; }
    std::size_t size() const { return list.size(); }

    // A click on a header: only the first column's toggles its box and gives
    // every row the same check.
    void headerClick(int column);
    // A row's check changed (by a click or by code): the header box follows,
    // checked exactly when no row is unchecked.
    void setRowCheck(std::size_t row, bool checked);
    // A click on a row's own box: toggles it and tells onRowCheckClicked with
    // the check the row had before, so the owner can pass it on.
    void clickRowCheckBox(std::size_t row);

    std::function<void(std::size_t row, bool wasChecked)> onRowCheckClicked;
    std::function<void()> onChanged;

private:
    void rowChanged();
    std::vector<CheckListRow> list;
    bool ready = false;
    bool headerBox = false;
};

}  // namespace vantor
