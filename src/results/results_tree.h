#pragma once
// The results tree and the file list beside it, filled from the results
// contract: the root and the top level after a scan, deeper levels when a
// folder is first opened or clicked, never up front.
#include <array>
#include <string>
#include <string_view>

#include "controls/check_list.h"
#include "controls/check_tree.h"
#include "core/recovered.h"

namespace vantor {

// The one child a folder carries until it is filled, so it shows an expand button.
inline constexpr std::string_view kExpandPlaceholder = "..DUMY..";

// The file list: six columns, rows whose data is a tree item, or the
// entries of a search when showsSearchResults is set.
struct FileList {
    CheckList list;
    bool showsSearchResults = false;
};

// Column texts of a list row: name, creation, access, modification, size, attributes.
std::array<std::string, 6> rowTexts(const RecoveredItem& item, std::string_view firstColumn);

// Which path inserts a child: only a label click draws deleted entries red.
enum class FillPath { expand, labelClick, doubleClick };

// Inserts the root item (the root label, folder icon, the reader's root) and
// records it expanded. Returns kNoItem when the reader has no root.
TreeItem insertRootItem(CheckTree& tree, const EntrySource& source, const std::string& rootLabel);
// Inserts the root folder's entries under the root item, without grandchildren.
void fillTopLevel(CheckTree& tree, const EntrySource& source, TreeItem root);
// Gives each top-level folder with children its placeholder.
void addExpandPlaceholders(CheckTree& tree, const EntrySource& source);

// Fills a folder item once: replaces its placeholder by its children.
void populateChildren(CheckTree& tree, const EntrySource& source, TreeItem item, FillPath path);
// A label click: a folder lists its files, a file lists itself.
void fillFileList(CheckTree& tree, FileList& list, const EntrySource& source, TreeItem item);
// A double click on a folder: its child items by name only.
void listFolderNames(CheckTree& tree, FileList& list, const EntrySource& source, TreeItem item);
// Search results in the list: clearing it for a new search, then one row
// per hit with its path in the first column and the entry as its data.
void beginSearchResults(FileList& list);
void addSearchRow(FileList& list, EntryRef entry, std::string_view path, const RecoveredItem& item);

// A click on a row's check box: the row's tree item takes the row's new
// check, unless the list shows search results.
void mirrorRowCheck(CheckTree& tree, const FileList& list, std::size_t row, bool rowWasChecked);

// A file that is listed when clicked alone (ext: regular files and the like).
bool isListableFile(const EntrySource& source, EntryRef entry);

}  // namespace vantor
