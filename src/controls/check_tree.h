#pragma once
// The tri-state check-box tree as plain data: items with text, icon kind,
// data, text colour, an expand record and a check box whose state follows
// its descendants. The results layer writes into it; a Qt view draws it and
// forwards clicks to the click operations below. Use it from one thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/recovered.h"

namespace vantor {

// A handle to one item. Handles are never reused, so a handle kept after its
// item was deleted refers to nothing (every operation then does nothing).
using TreeItem = std::uint32_t;
inline constexpr TreeItem kNoItem = 0;

enum class TreeIcon { folder, file };
enum class ExpandAction { collapse, expand, toggle };
// The picture of a check box: the state image index the view draws.
enum class CheckMark { unchecked = 1, checked = 2, mixed = 3 };

using Rgb = std::uint32_t;  // 0xRRGGBB
inline constexpr Rgb kRed = 0xFF0000;

class CheckTree {
public:
    CheckTree();

    // Empties the tree; smart propagation stays as set.
    void initialise();
    // Smart propagation: checks go down to every descendant and a folder's
    // box shows how many of its descendants are checked.
    void setSmartPropagation(bool on) { smart = on; }

    // Inserts an unchecked item as the last child of `parent` (kNoItem for
    // the top level). Returns kNoItem when the parent does not exist.
    TreeItem insert(TreeItem parent, std::string text, TreeIcon icon, std::optional<EntryRef> data = {});
    // Deletes the item and everything below it, keeping the ancestors' counts.
    bool remove(TreeItem item);
    void removeAll();

    bool exists(TreeItem item) const;
    TreeItem parent(TreeItem item) const;
    TreeItem firstChild(TreeItem item) const;  // kNoItem: first top-level item
    TreeItem nextSibling(TreeItem item) const;
    std::vector<TreeItem> children(TreeItem item) const;
    bool hasChildren(TreeItem item) const { return firstChild(item) != kNoItem; }
    std::size_t size() const { return live; }

    const std::string& text(TreeItem item) const;
    TreeIcon icon(TreeItem item) const;
    std::optional<EntryRef> data(TreeItem item) const;

    // The check box. setCheck propagates and reports through onCheckChanged.
    bool setCheck(TreeItem item, bool checked);
    // True for an item with descendants exactly when all of them are checked;
    // otherwise the item's own check.
    bool getCheck(TreeItem item) const;
    CheckMark mark(TreeItem item) const;
    int descendantCount(TreeItem item) const;
    int checkedDescendantCount(TreeItem item) const;
    // Items for which getCheck is true, in depth-first order.
    std::int64_t countChecked() const;

    // Nothing in the program disables items, but a view may.
    void setEnabled(TreeItem item, bool enabled);
    bool isEnabled(TreeItem item) const;

    // Returns the previous colour (nullopt: the tree's own text colour).
    std::optional<Rgb> setTextColour(TreeItem item, std::optional<Rgb> colour);
    std::optional<Rgb> textColour(TreeItem item) const;

    // The expand record: open/closed, and whether it was ever opened.
    // Acts only on an item with children; reports changes through onExpanded.
    bool expand(TreeItem item, ExpandAction action);
    bool isExpanded(TreeItem item) const;
    bool hasBeenExpanded(TreeItem item) const;

    TreeItem selected() const { return selection; }
    void select(TreeItem item);

    // What the view forwards. A label click selects the item and tells
    // onLabelClick; a check-box click toggles the item's own check and selects
    // it; a double click toggles the expand record of an item with children.
    void clickLabel(TreeItem item);
    void clickCheckBox(TreeItem item);
    void doubleClick(TreeItem item);

    std::function<void(TreeItem)> onLabelClick;
    std::function<void(TreeItem, bool)> onCheckChanged;
    std::function<void(TreeItem, bool)> onExpanded;
    // For a view: an item was inserted, is about to be removed, or changed
    // (text colour, check marks of it and its ancestors are re-read).
    std::function<void(TreeItem)> onInserted;
    std::function<void(TreeItem)> onRemoving;
    std::function<void(TreeItem)> onChanged;

private:
    struct Node {
        bool alive = false;
        TreeItem parent = kNoItem, first = kNoItem, last = kNoItem, next = kNoItem, prev = kNoItem;
        std::string text;
        TreeIcon icon = TreeIcon::file;
        std::optional<EntryRef> data;
        bool checked = false;
        bool enabled = true;
        bool expanded = false;
        bool hasBeenExpanded = false;
        int descendants = 0;
        int checkedDescendants = 0;
        std::optional<Rgb> colour;
    };
    const Node* node(TreeItem item) const;
    Node* node(TreeItem item);
    int applyCountChange(TreeItem ancestor, int delta);
    void propagateUp(TreeItem from, int delta);
    void setSubtree(TreeItem item, bool checked);
    void removeLeaf(TreeItem item);
    void notifyChanged(TreeItem item);

    std::vector<Node> nodes;  // [0] is the hidden parent of the top level
    std::size_t live = 0;
    bool smart = true;
    TreeItem selection = kNoItem;
};

}  // namespace vantor
