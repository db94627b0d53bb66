#include "results/results_tree.h"

#include "results/entry_walk.h"

namespace vantor {

namespace {

struct ChildContext {
    FillPath path = FillPath::expand;
    bool parentDeleted = false;
    bool parentChecked = false;
};

void insertPlaceholder(CheckTree& tree, TreeItem folder) {
    tree.insert(folder, std::string(kExpandPlaceholder), TreeIcon::file);
}

TreeItem insertChild(CheckTree& tree, const EntrySource& source, TreeItem parent, EntryRef entry,
                     const ChildContext& context) {
    const RecoveredItem item = source.describe(entry);
    const TreeTraits traits = source.treeTraits();
    const TreeItem child =
        tree.insert(parent, item.name, item.isFolder ? TreeIcon::folder : TreeIcon::file, entry);
    if (child == kNoItem) return kNoItem;
    if (context.path == FillPath::labelClick && traits.redOnLabelClick) {
        const bool red = item.isDeleted ||
                         (traits.redInsideDeletedFolder && context.parentDeleted && !item.isFolder);
        if (red) tree.setTextColour(child, kRed);
    }
    if (item.isFolder && item.hasChildren) insertPlaceholder(tree, child);
    if (traits.childrenInheritCheck && context.parentChecked) tree.setCheck(child, true);
    return child;
}

bool isPlaceholder(const CheckTree& tree, TreeItem item) {
    return item != kNoItem && !tree.data(item) && tree.text(item) == kExpandPlaceholder;
}

}  // namespace

std::array<std::string, 6> rowTexts(const RecoveredItem& item, std::string_view firstColumn) {
    return {std::string(firstColumn), item.creationText, item.accessText, item.modificationText,
            item.sizeColumnText,      item.attributeText};
}

bool isListableFile(const EntrySource& source, EntryRef entry) {
    return !source.describe(entry).isFolder && source.isSaveFile(entry);
}

TreeItem insertRootItem(CheckTree& tree, const EntrySource& source, const std::string& rootLabel) {
    const auto root = source.rootEntry();
    if (!root) return kNoItem;
    const TreeItem item = tree.insert(kNoItem, rootLabel, TreeIcon::folder, *root);
    return item;
}

void fillTopLevel(CheckTree& tree, const EntrySource& source, TreeItem root) {
    const auto entry = tree.data(root);
    if (!entry) return;
    const TreeTraits traits = source.treeTraits();
    for (const EntryRef child : childrenOf(source, *entry)) {
        const RecoveredItem item = source.describe(child);
        const TreeItem added =
            tree.insert(root, item.name, item.isFolder ? TreeIcon::folder : TreeIcon::file, child);
        if (added != kNoItem && traits.redTopLevel && item.isDeleted) tree.setTextColour(added, kRed);
    }
    tree.expand(root, ExpandAction::expand);
}

void addExpandPlaceholders(CheckTree& tree, const EntrySource& source) {
    const TreeItem root = tree.firstChild(kNoItem);
    for (TreeItem child = tree.firstChild(root); child != kNoItem; child = tree.nextSibling(child)) {
        const auto entry = tree.data(child);
        if (!entry || tree.hasChildren(child)) continue;
        const RecoveredItem item = source.describe(*entry);
        if (item.isFolder && item.hasChildren) insertPlaceholder(tree, child);
    }
    tree.expand(root, ExpandAction::expand);
}

void populateChildren(CheckTree& tree, const EntrySource& source, TreeItem item, FillPath path) {
    const auto entry = tree.data(item);
    if (!entry) return;
    const RecoveredItem folder = source.describe(*entry);
    if (!folder.isFolder) return;
    const TreeItem first = tree.firstChild(item);
    if (isPlaceholder(tree, first)) tree.remove(first);
    else if (first != kNoItem) return;  // filled before: a folder is filled once
    ChildContext context;
    context.path = path;
    context.parentDeleted = folder.isDeleted;
    context.parentChecked = tree.getCheck(item);
    for (const EntryRef child : childrenOf(source, *entry)) insertChild(tree, source, item, child, context);
}

void fillFileList(CheckTree& tree, FileList& list, const EntrySource& source, TreeItem item) {
    const auto entry = tree.data(item);
    if (!entry) return;
    const RecoveredItem clicked = source.describe(*entry);
    if (clicked.isFolder) {
        populateChildren(tree, source, item, FillPath::labelClick);
        if (!tree.hasChildren(item)) return;  // an empty folder leaves the list as it was
        list.list.clear();
        list.showsSearchResults = false;
        for (TreeItem child = tree.firstChild(item); child != kNoItem; child = tree.nextSibling(child)) {
            const auto childEntry = tree.data(child);
            if (!childEntry) continue;
            const RecoveredItem described = source.describe(*childEntry);
            if (described.isFolder) continue;
            const auto texts = rowTexts(described, tree.text(child));
            list.list.addRow({{texts.begin(), texts.end()}, child, true, false});
        }
        return;
    }
    if (!source.isSaveFile(*entry)) return;
    list.list.clear();
    list.showsSearchResults = false;
    const auto texts = rowTexts(clicked, tree.text(item));
    list.list.addRow({{texts.begin(), texts.end()}, item, true, false});
}

void listFolderNames(CheckTree& tree, FileList& list, const EntrySource& source, TreeItem item) {
    populateChildren(tree, source, item, FillPath::doubleClick);
    const auto entry = tree.data(item);
    if (!entry || !source.describe(*entry).isFolder || !tree.hasChildren(item)) return;
    list.list.clear();
    for (TreeItem child = tree.firstChild(item); child != kNoItem; child = tree.nextSibling(child)) {
        if (tree.icon(child) == TreeIcon::folder) continue;
        list.list.addRow({{tree.text(child), "", "", "", "", ""}, child, true, false});
    }
}

void beginSearchResults(FileList& list) {
    list.list.clear();
    list.showsSearchResults = true;
}

void addSearchRow(FileList& list, EntryRef entry, std::string_view path, const RecoveredItem& item) {
    const auto texts = rowTexts(item, path);
    list.list.addRow({{texts.begin(), texts.end()}, entry, true, false});
}

void mirrorRowCheck(CheckTree& tree, const FileList& list, std::size_t row, bool rowWasChecked) {
    if (list.showsSearchResults || row >= list.list.size()) return;
    const CheckListRow& r = list.list.rows()[row];
    if (!r.hasData) return;
    tree.setCheck(static_cast<TreeItem>(r.data), !rowWasChecked);
}

}  // namespace vantor
