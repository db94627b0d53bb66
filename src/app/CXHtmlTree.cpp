#include "CXHtmlTree.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QStyle>

#include "qt_seams.h"
#include "results/results_tree.h"

namespace vantor::gui {

namespace {
constexpr int kHandleRole = Qt::UserRole + 7;
}

CXHtmlTree::CXHtmlTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    tree.setSmartPropagation(true);
    tree.onInserted = [this](TreeItem item) { mirrorInsert(item); };
    tree.onRemoving = [this](TreeItem item) { mirrorRemove(item); };
    tree.onChanged = [this](TreeItem item) { refresh(item); };
    tree.onExpanded = [this](TreeItem item, bool open) { mirrorExpand(item, open); };
    tree.onLabelClick = [this](TreeItem item) { emit labelClicked(item); };

    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* view) {
        if (syncingExpand) return;
        const TreeItem item = handle(view);
        emit expanding(item);
        tree.expand(item, ExpandAction::expand);
    });
    // Keys move the current item too; Save works on the model's selection.
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* view) {
        if (view) tree.select(handle(view));
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* view) {
        if (syncingExpand) return;
        tree.expand(handle(view), ExpandAction::collapse);
    });
}

CXHtmlTree::~CXHtmlTree() {
    // The model outlives no view: drop the callbacks before the items go.
    tree.onInserted = nullptr;
    tree.onRemoving = nullptr;
    tree.onChanged = nullptr;
    tree.onExpanded = nullptr;
    tree.onLabelClick = nullptr;
}

QTreeWidgetItem* CXHtmlTree::viewItem(TreeItem item) const {
    const auto it = items.find(item);
    return it == items.end() ? nullptr : it->second;
}

TreeItem CXHtmlTree::handle(const QTreeWidgetItem* item) const {
    return item ? static_cast<TreeItem>(item->data(0, kHandleRole).toUInt()) : kNoItem;
}

QIcon CXHtmlTree::folderIcon() {
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("folder"),
                                               QApplication::style()->standardIcon(QStyle::SP_DirIcon));
    return icon;
}

QIcon CXHtmlTree::iconForName(const QString& name) {
    static QMimeDatabase mimes;
    static QHash<QString, QIcon> cache;
    const QMimeType mime = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    const auto cached = cache.constFind(mime.name());
    if (cached != cache.constEnd()) return *cached;
    static const QIcon plain = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    const QIcon icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), plain));
    cache.insert(mime.name(), icon);
    return icon;
}

void CXHtmlTree::mirrorInsert(TreeItem item) {
    const TreeItem parent = tree.parent(item);
    QTreeWidgetItem* above = parent == kNoItem ? invisibleRootItem() : viewItem(parent);
    if (!above) return;
    auto* view = new QTreeWidgetItem();
    const QString text = qs(tree.text(item));
    view->setText(0, text);
    view->setData(0, kHandleRole, item);
    if (text != QLatin1String(kExpandPlaceholder.data(), kExpandPlaceholder.size()) || tree.data(item))
        view->setIcon(0, tree.icon(item) == TreeIcon::folder ? folderIcon() : iconForName(text));
    // The box is drawn from the model's mark; Qt must not toggle it by itself.
    view->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    view->setData(0, Qt::CheckStateRole, Qt::Unchecked);
    items[item] = view;
    above->addChild(view);
    refresh(item);
}

void CXHtmlTree::mirrorRemove(TreeItem item) {
    const auto it = items.find(item);
    if (it == items.end()) return;
    QTreeWidgetItem* view = it->second;
    items.erase(it);
    delete view;
}

void CXHtmlTree::refresh(TreeItem item) {
    QTreeWidgetItem* view = viewItem(item);
    if (!view) return;
    Qt::CheckState state = Qt::Unchecked;
    switch (tree.mark(item)) {
        case CheckMark::checked: state = Qt::Checked; break;
        case CheckMark::mixed: state = Qt::PartiallyChecked; break;
        case CheckMark::unchecked: break;
    }
    if (view->checkState(0) != state) view->setCheckState(0, state);
    const auto colour = tree.textColour(item);
    const QBrush wanted = colour ? QBrush(QColor::fromRgb(*colour)) : QBrush();
    if (view->foreground(0) != wanted) view->setForeground(0, wanted);
    view->setDisabled(!tree.isEnabled(item));
}

void CXHtmlTree::mirrorExpand(TreeItem item, bool open) {
    QTreeWidgetItem* view = viewItem(item);
    if (!view || view->isExpanded() == open) return;
    syncingExpand = true;
    view->setExpanded(open);
    syncingExpand = false;
}

QStyleOptionViewItem CXHtmlTree::optionFor(const QTreeWidgetItem* item) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QModelIndex index = indexFromItem(item);
    option.rect = visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item->text(0);
    if (!item->icon(0).isNull()) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.icon = item->icon(0);
    }
    option.checkState = item->checkState(0);
    return option;
}

QRect CXHtmlTree::checkBoxRect(TreeItem item) const {
    const QTreeWidgetItem* view = viewItem(item);
    if (!view) return {};
    const QStyleOptionViewItem option = optionFor(view);
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
}

QRect CXHtmlTree::labelRect(TreeItem item) const {
    const QTreeWidgetItem* view = viewItem(item);
    if (!view) return {};
    const QStyleOptionViewItem option = optionFor(view);
    QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
    text.setWidth(std::min(text.width(), fontMetrics().horizontalAdvance(view->text(0)) + 8));
    return text;
}

void CXHtmlTree::mousePressEvent(QMouseEvent* event) {
    QTreeWidgetItem* view = itemAt(event->position().toPoint());
    if (!view || event->button() != Qt::LeftButton) return QTreeWidget::mousePressEvent(event);
    const TreeItem item = handle(view);
    const QPoint at = event->position().toPoint();
    if (checkBoxRect(item).contains(at)) {
        // A click on the box toggles it and selects the item.
        tree.clickCheckBox(item);
        setCurrentItem(view);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
    if (labelRect(item).contains(at)) {
        setCurrentItem(view);
        tree.clickLabel(item);
    } else {
        tree.select(item);
    }
}

void CXHtmlTree::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidgetItem* view = itemAt(event->position().toPoint());
    if (!view || event->button() != Qt::LeftButton) return QTreeWidget::mouseDoubleClickEvent(event);
    const TreeItem item = handle(view);
    if (checkBoxRect(item).contains(event->position().toPoint())) {
        // Two quick clicks on a box are two toggles.
        tree.clickCheckBox(item);
        event->accept();
        return;
    }
    emit itemDoubleClicked(item);
    tree.doubleClick(item);
    event->accept();
}

void CXHtmlTree::setDimmed(bool dimmed) {
    setEnabled(!dimmed);
    if (!dimmed) {
        setPalette(QPalette());
        return;
    }
    QPalette p = palette();
    QColor base = p.color(QPalette::Base);
    base.setRgb(std::max(0, base.red() - 10), std::max(0, base.green() - 10), std::max(0, base.blue() - 10));
    p.setColor(QPalette::Base, base);
    setPalette(p);
}

}  // namespace vantor::gui
