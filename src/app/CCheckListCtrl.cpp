#include "CCheckListCtrl.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "qt_seams.h"

namespace vantor::gui {

CCheckHeadCtrl::CCheckHeadCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setStretchLastSection(true);
}

void CCheckHeadCtrl::setBox(bool isPresent, bool isChecked) {
    if (present == isPresent && checked == isChecked) return;
    present = isPresent;
    checked = isChecked;
    viewport()->update();
}

QRect CCheckHeadCtrl::boxRect() const {
    const int x = sectionViewportPosition(0);
    const int side = style()->pixelMetric(QStyle::PM_IndicatorWidth);
    return QRect(x + 4, (height() - side) / 2, side, side);
}

void CCheckHeadCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (logicalIndex != 0 || !present) return QHeaderView::paintSection(painter, rect, logicalIndex);
    // Leave room for the box before the caption.
    const int side = style()->pixelMetric(QStyle::PM_IndicatorWidth);
    painter->save();
    QHeaderView::paintSection(painter, rect.adjusted(side + 6, 0, 0, 0), logicalIndex);
    painter->restore();
    QStyleOptionButton box;
    box.rect = QRect(rect.x() + 4, rect.y() + (rect.height() - side) / 2, side, side);
    box.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter);
}

CCheckListCtrl::CCheckListCtrl(QWidget* parent) : QTreeWidget(parent) {
    headCtrl = new CCheckHeadCtrl(this);
    setHeader(headCtrl);
    headCtrl->setSectionsClickable(true);  // the view resets it when the header is set
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setStyleSheet(QStringLiteral(
        // Grid lines; a style sheet on items also takes over the selected look.
        "QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }"
        "QTreeView::item:selected { background: palette(highlight); color: palette(highlighted-text); }"));
    list->onChanged = [this] { scheduleSync(); };
    connect(headCtrl, &QHeaderView::sectionClicked, this, [this](int column) {
        list->headerClick(column);
        sync();
    });
}

CCheckListCtrl::~CCheckListCtrl() { list->onChanged = nullptr; }

void CCheckListCtrl::attach(CheckList& model) {
    list->onChanged = nullptr;
    list = &model;
    list->onChanged = [this] { scheduleSync(); };
    sync();
}

void CCheckListCtrl::setUpHeaderBox() {
    list->setUpHeader();
    headCtrl->setBox(true, list->headerChecked());
}

void CCheckListCtrl::scheduleSync() {
    if (syncPending) return;
    syncPending = true;
    QMetaObject::invokeMethod(this, [this] { sync(); }, Qt::QueuedConnection);
}

void CCheckListCtrl::sync() {
    syncPending = false;
    const auto& rows = list->rows();
    const int wanted = static_cast<int>(rows.size());
    // Rows are only appended between clears; anything else rebuilds.
    bool same = topLevelItemCount() <= wanted;
    for (int i = 0; same && i < topLevelItemCount(); ++i) {
        const auto& columns = rows[static_cast<std::size_t>(i)].columns;
        for (std::size_t c = 0; same && c < columns.size(); ++c)
            same = topLevelItem(i)->text(static_cast<int>(c)) == qs(columns[c]);
    }
    if (!same) clear();
    QList<QTreeWidgetItem*> added;
    for (int i = topLevelItemCount(); i < wanted; ++i) {
        const CheckListRow& r = rows[static_cast<std::size_t>(i)];
        auto* item = new QTreeWidgetItem();
        for (std::size_t c = 0; c < r.columns.size(); ++c) item->setText(static_cast<int>(c), qs(r.columns[c]));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setData(0, Qt::CheckStateRole, Qt::Unchecked);
        added.push_back(item);
    }
    addTopLevelItems(added);
    for (int i = 0; i < wanted; ++i) {
        const Qt::CheckState state = rows[static_cast<std::size_t>(i)].checked ? Qt::Checked : Qt::Unchecked;
        QTreeWidgetItem* item = topLevelItem(i);
        if (item->checkState(0) != state) item->setCheckState(0, state);
    }
    headCtrl->setBox(list->headerReady(), list->headerChecked());
}

QRect CCheckListCtrl::rowCheckBoxRect(int row) const {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item) return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(indexFromItem(item));
    option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item->text(0);
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

void CCheckListCtrl::mousePressEvent(QMouseEvent* event) {
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item && event->button() == Qt::LeftButton) {
        const int row = indexOfTopLevelItem(item);
        if (rowCheckBoxRect(row).contains(event->position().toPoint())) {
            sync();
            list->clickRowCheckBox(static_cast<std::size_t>(row));
            sync();
            setCurrentItem(item);
            event->accept();
            return;
        }
    }
    QTreeWidget::mousePressEvent(event);
}

}  // namespace vantor::gui
