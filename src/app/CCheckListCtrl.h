#pragma once
// The file list with a check-all box in the header of its first column, as
// Qt widgets over the headless CheckList the list owns. The row boxes and
// the header box are drawn from the model; clicks go to the model.
#include <QHeaderView>
#include <QTreeWidget>

#include "controls/check_list.h"

namespace vantor::gui {

// The header: draws the check-all box in section 0 and reports clicks on it.
class CCheckHeadCtrl final : public QHeaderView {
    Q_OBJECT
public:
    explicit CCheckHeadCtrl(QWidget* parent = nullptr);
    void setBox(bool present, bool checked);
    bool boxChecked() const { return checked; }
    QRect boxRect() const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    bool present = false;
    bool checked = false;
};

class CCheckListCtrl final : public QTreeWidget {
    Q_OBJECT
public:
    explicit CCheckListCtrl(QWidget* parent = nullptr);
    ~CCheckListCtrl() override;

    CheckList& model() { return *list; }
    const CheckList& model() const { return *list; }
    // Shows another owner's list (the results page's file list) instead of its own.
    void attach(CheckList& model);
    // Back to its own list (before the attached one goes away).
    void detach() { attach(own); }
    CCheckHeadCtrl* head() const { return headCtrl; }

    // Gives the first column's header its box (a second call does nothing).
    void setUpHeaderBox();
    // Brings the rows in line with the model now (otherwise done once per
    // turn of the event loop, so filling many rows stays cheap).
    void sync();
    QRect rowCheckBoxRect(int row) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void scheduleSync();

    CheckList own;
    CheckList* list = &own;
    CCheckHeadCtrl* headCtrl = nullptr;
    bool syncPending = false;
};

}  // namespace vantor::gui
