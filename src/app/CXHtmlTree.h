#pragma once
// The tri-state check-box tree as a Qt widget: a view over the headless
// CheckTree it owns. Every change of the model (insert, remove, check marks,
// colour, expand record) is mirrored into the view at once; clicks on the
// check box, the label and double clicks are forwarded to the model, which
// decides what they do. Use from the UI thread only.
#include <QHash>
#include <QIcon>
#include <QTreeWidget>

#include <unordered_map>

#include "controls/check_tree.h"

namespace vantor::gui {

class CXHtmlTree final : public QTreeWidget {
    Q_OBJECT
public:
    explicit CXHtmlTree(QWidget* parent = nullptr);
    ~CXHtmlTree() override;

    CheckTree& model() { return tree; }
    const CheckTree& model() const { return tree; }

    QTreeWidgetItem* viewItem(TreeItem item) const;
    TreeItem handle(const QTreeWidgetItem* item) const;

    // Where the check box and the label of an item are drawn, in viewport
    // coordinates (tests click there).
    QRect checkBoxRect(TreeItem item) const;
    QRect labelRect(TreeItem item) const;

    // The icon for a file name, from the desktop icon theme by MIME type.
    static QIcon iconForName(const QString& name);
    static QIcon folderIcon();

    // A search walks the tree's folders: the tree is greyed and takes no clicks.
    void setDimmed(bool dimmed);

signals:
    void labelClicked(vantor::TreeItem item);
    // Before the model's expand record changes: the page fills the folder.
    void expanding(vantor::TreeItem item);
    void itemDoubleClicked(vantor::TreeItem item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void mirrorInsert(TreeItem item);
    void mirrorRemove(TreeItem item);
    void refresh(TreeItem item);
    void mirrorExpand(TreeItem item, bool open);
    QStyleOptionViewItem optionFor(const QTreeWidgetItem* item) const;

    CheckTree tree;
    std::unordered_map<TreeItem, QTreeWidgetItem*> items;
    bool syncingExpand = false;
};

}  // namespace vantor::gui
