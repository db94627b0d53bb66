#include "controls/check_tree.h"

namespace vantor {

namespace {
const std::string kNoText;
}

CheckTree::CheckTree() {
    nodes.emplace_back();
    nodes[0].alive = true;
}

void CheckTree::initialise() {
    removeAll();
}

const CheckTree::Node* CheckTree::node(TreeItem item) const {
    if (item == kNoItem || item >= nodes.size() || !nodes[item].alive) return nullptr;
    return &nodes[item];
}

CheckTree::Node* CheckTree::node(TreeItem item) {
    if (item == kNoItem || item >= nodes.size() || !nodes[item].alive) return nullptr;
    return &nodes[item];
}

bool CheckTree::exists(TreeItem item) const {
    return node(item) != nullptr;
}

TreeItem CheckTree::insert(TreeItem parent, std::string text, TreeIcon icon, std::optional<EntryRef> data) {
    if (parent != kNoItem && !node(parent)) return kNoItem;
    const auto item = static_cast<TreeItem>(nodes.size());
    Node n;
    n.alive = true;
    n.parent = parent;
    n.text = std::move(text);
    n.icon = icon;
    n.data = data;
    n.prev = nodes[parent].last;
    nodes.push_back(std::move(n));
    Node& p = nodes[parent];
    if (p.last != kNoItem) nodes[p.last].next = item;
    else p.first = item;
    p.last = item;
    ++live;
    // Every ancestor gains one descendant; an unchecked one turns a fully
    // checked ancestor into a mixed one.
    for (TreeItem a = parent; a != kNoItem; a = nodes[a].parent) ++nodes[a].descendants;
    if (smart) propagateUp(parent, 0);
    if (onInserted) onInserted(item);
    return item;
}

// One ancestor's share of a count change: `delta` more (or fewer) checked
// items below it. Returns the delta its own parent sees, which includes the
// ancestor itself when its own check flips.
int CheckTree::applyCountChange(TreeItem ancestor, int delta) {
    Node& a = nodes[ancestor];
    a.checkedDescendants += delta;
    if (a.checkedDescendants < 0) a.checkedDescendants = 0;
    // An item left without descendants keeps the check it had.
    if (a.descendants == 0) return delta;
    const bool nowChecked = a.checkedDescendants == a.descendants;
    if (nowChecked == a.checked) return delta;
    a.checked = nowChecked;
    return nowChecked ? delta + 1 : delta - 1;
}

void CheckTree::propagateUp(TreeItem from, int delta) {
    for (TreeItem a = from; a != kNoItem; a = nodes[a].parent) {
        delta = applyCountChange(a, delta);
        notifyChanged(a);
    }
}

void CheckTree::removeLeaf(TreeItem item) {
    Node& n = nodes[item];
    if (onRemoving) onRemoving(item);
    const TreeItem parent = n.parent;
    Node& p = nodes[parent];
    if (n.prev != kNoItem) nodes[n.prev].next = n.next;
    else p.first = n.next;
    if (n.next != kNoItem) nodes[n.next].prev = n.prev;
    else p.last = n.prev;
    const bool wasChecked = n.checked;
    n = Node{};  // frees the text; the handle stays dead
    --live;
    if (selection == item) selection = kNoItem;
    for (TreeItem a = parent; a != kNoItem; a = nodes[a].parent)
        if (nodes[a].descendants > 0) --nodes[a].descendants;
    // The ancestors' checks are re-read with the new counts, so a folder
    // whose only unchecked child went away shows checked and clicks as such.
    if (smart) propagateUp(parent, wasChecked ? -1 : 0);
}

bool CheckTree::remove(TreeItem item) {
    if (!node(item)) return false;
    // Depth first: the children go before the item, each keeping the counts.
    while (nodes[item].last != kNoItem) remove(nodes[item].last);
    removeLeaf(item);
    return true;
}

void CheckTree::removeAll() {
    while (nodes[0].last != kNoItem) remove(nodes[0].last);
    nodes[0].descendants = nodes[0].checkedDescendants = 0;
    selection = kNoItem;
}

TreeItem CheckTree::parent(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->parent : kNoItem;
}

TreeItem CheckTree::firstChild(TreeItem item) const {
    if (item == kNoItem) return nodes[0].first;
    const Node* n = node(item);
    return n ? n->first : kNoItem;
}

TreeItem CheckTree::nextSibling(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->next : kNoItem;
}

std::vector<TreeItem> CheckTree::children(TreeItem item) const {
    std::vector<TreeItem> out;
    for (TreeItem c = firstChild(item); c != kNoItem; c = nodes[c].next) out.push_back(c);
    return out;
}

const std::string& CheckTree::text(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->text : kNoText;
}

TreeIcon CheckTree::icon(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->icon : TreeIcon::file;
}

std::optional<EntryRef> CheckTree::data(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->data : std::nullopt;
}

void CheckTree::setSubtree(TreeItem item, bool checked) {
    // An explicit stack: a deep tree must not exhaust the call stack.
    std::vector<TreeItem> pending{item};
    while (!pending.empty()) {
        const TreeItem i = pending.back();
        pending.pop_back();
        Node& n = nodes[i];
        if (n.enabled) {
            n.checked = checked;
            n.checkedDescendants = checked ? n.descendants : 0;
        }
        for (TreeItem c = n.first; c != kNoItem; c = nodes[c].next) pending.push_back(c);
        notifyChanged(i);
    }
}

bool CheckTree::setCheck(TreeItem item, bool checked) {
    Node* n = node(item);
    if (!n || !n->enabled) return false;
    if (n->checked == checked) {
        notifyChanged(item);
        if (onCheckChanged) onCheckChanged(item, checked);
        return true;
    }
    if (!smart) {
        n->checked = checked;
        notifyChanged(item);
        if (onCheckChanged) onCheckChanged(item, checked);
        return true;
    }
    // The ancestors gain the item and every unchecked descendant, or lose
    // the item and every checked one.
    const int delta = checked ? n->descendants - n->checkedDescendants + 1 : -(n->checkedDescendants + 1);
    const TreeItem up = n->parent;
    setSubtree(item, checked);
    propagateUp(up, delta);
    if (onCheckChanged) onCheckChanged(item, checked);
    return true;
}

bool CheckTree::getCheck(TreeItem item) const {
    const Node* n = node(item);
    if (!n) return false;
    if (smart && n->descendants > 0) return n->checkedDescendants == n->descendants;
    return n->checked;
}

CheckMark CheckTree::mark(TreeItem item) const {
    const Node* n = node(item);
    if (!n) return CheckMark::unchecked;
    if (smart && n->descendants > 0) {
        if (n->checkedDescendants == 0) return CheckMark::unchecked;
        return n->checkedDescendants == n->descendants ? CheckMark::checked : CheckMark::mixed;
    }
    return n->checked ? CheckMark::checked : CheckMark::unchecked;
}

int CheckTree::descendantCount(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->descendants : 0;
}

int CheckTree::checkedDescendantCount(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->checkedDescendants : 0;
}

std::int64_t CheckTree::countChecked() const {
    std::int64_t count = 0;
    std::vector<TreeItem> pending;
    for (TreeItem c = nodes[0].last; c != kNoItem; c = nodes[c].prev) pending.push_back(c);
    while (!pending.empty()) {
        const TreeItem i = pending.back();
        pending.pop_back();
        if (getCheck(i)) ++count;
        for (TreeItem c = nodes[i].last; c != kNoItem; c = nodes[c].prev) pending.push_back(c);
    }
    return count;
}

void CheckTree::setEnabled(TreeItem item, bool enabled) {
    if (Node* n = node(item)) {
        n->enabled = enabled;
        notifyChanged(item);
    }
}

bool CheckTree::isEnabled(TreeItem item) const {
    const Node* n = node(item);
    return n && n->enabled;
}

std::optional<Rgb> CheckTree::setTextColour(TreeItem item, std::optional<Rgb> colour) {
    Node* n = node(item);
    if (!n) return std::nullopt;
    const auto previous = n->colour;
    n->colour = colour;
    notifyChanged(item);
    return previous;
}

std::optional<Rgb> CheckTree::textColour(TreeItem item) const {
    const Node* n = node(item);
    return n ? n->colour : std::nullopt;
}

bool CheckTree::expand(TreeItem item, ExpandAction action) {
    Node* n = node(item);
    if (!n || n->first == kNoItem) return false;
    const bool open = action == ExpandAction::expand     ? true
                      : action == ExpandAction::collapse ? false
                                                         : !n->expanded;
    const bool changed = open != n->expanded;
    n->expanded = open;
    if (open) n->hasBeenExpanded = true;
    if (changed) {
        notifyChanged(item);
        if (onExpanded) onExpanded(item, open);
    }
    return true;
}

bool CheckTree::isExpanded(TreeItem item) const {
    const Node* n = node(item);
    return n && n->expanded;
}

bool CheckTree::hasBeenExpanded(TreeItem item) const {
    const Node* n = node(item);
    return n && n->hasBeenExpanded;
}

void CheckTree::select(TreeItem item) {
    const Node* n = node(item);
    if (!n || !n->enabled) return;
    selection = item;
}

void CheckTree::clickLabel(TreeItem item) {
    if (!node(item)) return;
    select(item);
    if (onLabelClick) onLabelClick(item);
}

void CheckTree::clickCheckBox(TreeItem item) {
    const Node* n = node(item);
    if (!n || !n->enabled) return;
    setCheck(item, !n->checked);
    select(item);
}

void CheckTree::doubleClick(TreeItem item) {
    const Node* n = node(item);
    if (!n || !n->enabled || n->first == kNoItem) return;
    expand(item, ExpandAction::toggle);
}

void CheckTree::notifyChanged(TreeItem item) {
    if (onChanged && item != kNoItem) onChanged(item);
}

}  // namespace vantor
