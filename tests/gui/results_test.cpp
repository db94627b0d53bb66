// The results page and its widgets: the check-box tree and the check-all
// list as views over their models, and a scan of fixture images through the
// pages: the tree, red deleted entries, checks, Save, Search.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <sys/stat.h>

#include <atomic>
#include <future>
#include <set>

#include "CCheckListCtrl.h"
#include "CXHtmlTree.h"
#include "gui_support.h"
#include "results/save_walk.h"
#include "support/support.h"

using namespace vantor;
using namespace vantor::gui;
using namespace vantor::gui::test;

namespace {

TreeItem childNamed(const CheckTree& tree, TreeItem parent, const std::string& name) {
    for (TreeItem c = tree.firstChild(parent); c != kNoItem; c = tree.nextSibling(c))
        if (tree.text(c) == name) return c;
    return kNoItem;
}

std::set<std::string> childNames(const CheckTree& tree, TreeItem parent) {
    std::set<std::string> names;
    for (TreeItem c = tree.firstChild(parent); c != kNoItem; c = tree.nextSibling(c)) names.insert(tree.text(c));
    return names;
}

void clickAt(QWidget* viewport, const QRect& rect) {
    QTest::mouseClick(viewport, Qt::LeftButton, {}, rect.center());
}

std::int64_t mtimeOf(const std::filesystem::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mtime;
}

// Holds a save's worker at its "number of files found ..." question until
// release(), so a test can probe the page while a worker runs. Releases on
// destruction whatever failed meanwhile, so the worker is never left waiting.
class SaveHeldAtQuestion {
public:
    explicit SaveHeldAtQuestion(RecordedMessages& messages) : messages(messages), released(release_.get_future().share()) {
        messages.onText = [this](const std::string& text) {
            if (text.rfind("number of files found inside this folder = ", 0) != 0) return;
            asked = true;
            released.wait();
        };
    }
    ~SaveHeldAtQuestion() { release(); }
    SaveHeldAtQuestion(const SaveHeldAtQuestion&) = delete;
    SaveHeldAtQuestion& operator=(const SaveHeldAtQuestion&) = delete;

    bool waitUntilAsked() { return QTest::qWaitFor([this] { return asked.load(); }, 30000); }
    void release() {
        if (done) return;
        done = true;
        messages.onText = nullptr;
        release_.set_value();
    }

private:
    RecordedMessages& messages;
    std::promise<void> release_;
    std::shared_future<void> released;
    std::atomic<bool> asked{false};
    bool done = false;
};

}  // namespace

class ResultsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { testApp().messages.clear(); }

    void treeBoxesFollowTheirDescendants() {
        CXHtmlTree view;
        view.resize(400, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        CheckTree& tree = view.model();
        const TreeItem root = tree.insert(kNoItem, "ROOT", TreeIcon::folder, 1);
        const TreeItem folder = tree.insert(root, "docs", TreeIcon::folder, 2);
        const TreeItem a = tree.insert(folder, "a.txt", TreeIcon::file, 3);
        const TreeItem b = tree.insert(folder, "b.jpg", TreeIcon::file, 4);
        const TreeItem other = tree.insert(root, "c.txt", TreeIcon::file, 5);
        view.expandAll();
        QTest::qWait(10);
        QCOMPARE(view.viewItem(root)->childCount(), 2);

        QSignalSpy labels(&view, &CXHtmlTree::labelClicked);
        clickAt(view.viewport(), view.checkBoxRect(folder));
        QVERIFY(tree.getCheck(folder));
        QVERIFY(tree.getCheck(a) && tree.getCheck(b));
        QCOMPARE(view.viewItem(folder)->checkState(0), Qt::Checked);
        QCOMPARE(view.viewItem(a)->checkState(0), Qt::Checked);
        QCOMPARE(view.viewItem(root)->checkState(0), Qt::PartiallyChecked);
        QCOMPARE(tree.selected(), folder);  // a box click also selects
        QCOMPARE(labels.count(), 0);

        clickAt(view.viewport(), view.checkBoxRect(other));
        QCOMPARE(view.viewItem(root)->checkState(0), Qt::Checked);
        clickAt(view.viewport(), view.checkBoxRect(a));
        QCOMPARE(view.viewItem(folder)->checkState(0), Qt::PartiallyChecked);
        QCOMPARE(view.viewItem(root)->checkState(0), Qt::PartiallyChecked);
        QVERIFY(!tree.getCheck(folder));

        // An unchecked child inserted under a fully checked folder: mixed.
        clickAt(view.viewport(), view.checkBoxRect(a));
        QCOMPARE(view.viewItem(folder)->checkState(0), Qt::Checked);
        tree.insert(folder, "late.txt", TreeIcon::file, 6);
        QCOMPARE(view.viewItem(folder)->checkState(0), Qt::PartiallyChecked);

        // A click on the label selects and reports; on the expand arrow, neither.
        clickAt(view.viewport(), view.labelRect(b));
        QCOMPARE(labels.count(), 1);
        QCOMPARE(labels.takeFirst().at(0).value<TreeItem>(), b);
        QCOMPARE(view.currentItem(), view.viewItem(b));

        // Red text for deleted entries.
        tree.setTextColour(b, kRed);
        QCOMPARE(view.viewItem(b)->foreground(0).color(), QColor(255, 0, 0));
        QCOMPARE(view.viewItem(a)->foreground(0).style(), Qt::NoBrush);

        // The keyboard moves the selection the model keeps.
        view.setFocus();
        view.setCurrentItem(view.viewItem(a));
        QTest::keyClick(view.viewport(), Qt::Key_Down);
        QCOMPARE(tree.selected(), b);

        // Removing items keeps the view in line.
        tree.remove(folder);
        QCOMPARE(view.viewItem(root)->childCount(), 1);
        QVERIFY(view.viewItem(a) == nullptr);
    }

    void listHeaderBoxChecksAllRows() {
        CCheckListCtrl list;
        list.setColumnCount(2);
        list.setHeaderLabels({"File(s) List", "Size"});
        list.resize(400, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.setUpHeaderBox();
        std::vector<std::pair<std::size_t, bool>> clicks;
        list.model().onRowCheckClicked = [&](std::size_t row, bool was) { clicks.push_back({row, was}); };
        for (const char* name : {"a", "b", "c"}) list.model().addRow({{name, "1 Bytes"}, 0, false, false});
        list.sync();
        QCOMPARE(list.topLevelItemCount(), 3);
        QVERIFY(!list.head()->boxChecked());

        // Another column's header changes nothing.
        QTest::mouseClick(list.header()->viewport(), Qt::LeftButton, {},
                          QPoint(list.header()->sectionViewportPosition(1) + 5, list.header()->height() / 2));
        for (int i = 0; i < 3; ++i) QCOMPARE(list.topLevelItem(i)->checkState(0), Qt::Unchecked);

        QTest::mouseClick(list.header()->viewport(), Qt::LeftButton, {}, list.head()->boxRect().center());
        QVERIFY(list.head()->boxChecked());
        for (int i = 0; i < 3; ++i) QCOMPARE(list.topLevelItem(i)->checkState(0), Qt::Checked);
        QVERIFY(clicks.empty());  // the header does not pass checks on

        clickAt(list.viewport(), list.rowCheckBoxRect(1));
        QCOMPARE(list.topLevelItem(1)->checkState(0), Qt::Unchecked);
        QVERIFY(!list.head()->boxChecked());
        QCOMPARE(clicks.size(), std::size_t{1});
        QCOMPARE(clicks[0].first, std::size_t{1});
        QVERIFY(clicks[0].second);
        clickAt(list.viewport(), list.rowCheckBoxRect(1));
        QVERIFY(list.head()->boxChecked());

        QTest::mouseClick(list.header()->viewport(), Qt::LeftButton, {}, list.head()->boxRect().center());
        for (int i = 0; i < 3; ++i) QCOMPARE(list.topLevelItem(i)->checkState(0), Qt::Unchecked);
    }

    void extScanThroughThePages() {
        const auto image = vantor::test::fixtureImage("sample-disk.img");
        const vantor::test::SourceGuard guard(image);
        const auto manifest = vantor::test::readJsonFile(vantor::test::fixtureSource("sample-disk.manifest.json"));
        auto first = drivePageFor(image);
        VolumeScanDlg* page = walkToScanPage(*first, 0);
        QVERIFY(page);
        QVERIFY(page->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(page));
        QVERIFY(waitForWorker(*page));
        const auto texts = testApp().messages.texts();
        QVERIFY(std::find(texts.begin(), texts.end(),
                          "Scanning processing done.Select save button to save the data.") != texts.end());
        QVERIFY(page->progress->isHidden());
        QVERIFY(page->stopButton->isHidden());
        QVERIFY(page->backButton()->isEnabled());

        CheckTree& tree = page->tree->model();
        const TreeItem root = tree.firstChild(kNoItem);
        QCOMPARE(tree.text(root), std::string("ROOT"));
        std::set<std::string> topLevel;
        for (const auto& f : manifest["files"]) {
            const std::string path = f["path"];
            if (f["volume"] == 0 && !f["deleted"].get<bool>() && path.find('/', 5) == std::string::npos)
                topLevel.insert(path.substr(5));
        }
        const auto shown = childNames(tree, root);
        for (const auto& name : topLevel) QVERIFY2(shown.count(name), name.c_str());

        // A label click on a folder lists its files (folders never are rows).
        const TreeItem docs = childNamed(tree, root, "docs");
        QVERIFY(docs != kNoItem);
        page->tree->scrollToItem(page->tree->viewItem(docs));
        clickAt(page->tree->viewport(), page->tree->labelRect(docs));
        page->list->sync();
        QCOMPARE(page->list->topLevelItemCount(), 1);
        QCOMPARE(page->list->topLevelItem(0)->text(0), QString("report-2023.txt"));
        QCOMPARE(page->list->topLevelItem(0)->text(4), QString("4.33 KB"));
        QVERIFY(childNamed(tree, docs, "notes") != kNoItem);

        // Checking a folder checks everything inserted below it.
        clickAt(page->tree->viewport(), page->tree->checkBoxRect(docs));
        QVERIFY(tree.getCheck(docs));
        QVERIFY(tree.getCheck(childNamed(tree, docs, "report-2023.txt")));
        QVERIFY(tree.getCheck(childNamed(tree, docs, "notes")));
        QCOMPARE(page->tree->viewItem(root)->checkState(0), Qt::PartiallyChecked);
        // A row's box reaches the tree: the row's new check is the item's.
        clickAt(page->list->viewport(), page->list->rowCheckBoxRect(0));
        QVERIFY(tree.getCheck(childNamed(tree, docs, "report-2023.txt")));
        clickAt(page->list->viewport(), page->list->rowCheckBoxRect(0));
        QVERIFY(!tree.getCheck(childNamed(tree, docs, "report-2023.txt")));
        QCOMPARE(page->tree->viewItem(docs)->checkState(0), Qt::PartiallyChecked);

        // Save the folder: files with their content and times, folders re-created.
        vantor::test::ScratchDir out;
        page->outputFolder = QString::fromStdString(out.path().string());
        testApp().messages.answers = {true};
        tree.select(docs);
        page->save();
        QVERIFY(waitForWorker(*page));
        for (const auto& f : manifest["files"]) {
            const std::string path = f["path"];
            if (f["volume"] != 0 || f["type"] != "file" || path.rfind("ROOT/docs/", 0) != 0) continue;
            const auto saved = out.path() / path.substr(10);
            QVERIFY2(std::filesystem::exists(saved), path.c_str());
            QCOMPARE(vantor::test::sha256File(saved), f["sha256"].get<std::string>());
            QCOMPARE(mtimeOf(saved), f["mtime"].get<std::int64_t>());
        }
        const auto afterSave = testApp().messages.texts();
        QVERIFY(std::find(afterSave.begin(), afterSave.end(), "work done") != afterSave.end());

        // Search: full paths from the root, matches at any depth, case ignored.
        page->searchEdit->setText("\\.TXT$|\\.md$");
        page->search();
        QVERIFY(waitForWorker(*page));
        page->list->sync();
        std::set<QString> found;
        for (int i = 0; i < page->list->topLevelItemCount(); ++i) {
            const QString path = page->list->topLevelItem(i)->text(0);
            QVERIFY2(path.startsWith("ROOT"), qPrintable(path));
            found.insert(path);
        }
        QVERIFY(found.count("ROOT/docs/report-2023.txt"));
        QVERIFY(found.count("ROOT/docs/notes/todo.md"));
        QVERIFY(found.count("ROOT/readme.txt"));
        QVERIFY(!found.count("ROOT/data/measurements.bin"));
        QVERIFY(page->fileList().showsSearchResults);
        // A result row's box leaves the tree alone.
        const bool before = tree.getCheck(childNamed(tree, docs, "report-2023.txt"));
        clickAt(page->list->viewport(), page->list->rowCheckBoxRect(0));
        QCOMPARE(tree.getCheck(childNamed(tree, docs, "report-2023.txt")), before);

        // An invalid pattern is told and ends the search.
        testApp().messages.clear();
        page->searchEdit->setText("*.jpg");
        page->search();
        QVERIFY(waitForWorker(*page));
        const auto bad = testApp().messages.texts();
        QVERIFY(std::find(bad.begin(), bad.end(),
                          "such characters are not allowed for search.Try again with different pattern.") != bad.end());
        QVERIFY(std::find(bad.begin(), bad.end(), "Searching Finished") != bad.end());

        // Enter and Escape do nothing here either.
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) QTest::keyClick(page, key);
        settle();
        QVERIFY(page->isVisible());

        page->goBack();
        settle();
        QVERIFY(guard.unchanged());
    }

    void backSaveAndSearchWaitForARunningWorker() {
        const auto image = vantor::test::fixtureImage("sample-disk.img");
        auto first = drivePageFor(image);
        VolumeScanDlg* page = walkToScanPage(*first, 0);
        QVERIFY(page);
        QVERIFY(waitForWorker(*page));
        CheckTree& tree = page->tree->model();
        vantor::test::ScratchDir out;
        page->outputFolder = QString::fromStdString(out.path().string());

        // The save's question holds its worker; meanwhile the page is probed.
        SaveHeldAtQuestion held(testApp().messages);
        tree.select(tree.firstChild(kNoItem));
        page->save();
        QVERIFY(held.waitUntilAsked());
        QVERIFY(page->workerRunning());
        QVERIFY(!page->backButton()->isEnabled());
        page->goBack();
        QVERIFY(page->isVisible());
        testApp().messages.clear();
        page->search();
        QCOMPARE(testApp().messages.last(), std::string("Please wait for other process to complete"));
        testApp().messages.clear();
        page->save();
        QCOMPARE(testApp().messages.last(), std::string("Please wait for other process to complete"));
        held.release();
        QVERIFY(waitForWorker(*page));
        QVERIFY(page->backButton()->isEnabled());
        QVERIFY(std::filesystem::exists(out.path() / "readme.txt"));
        QVERIFY(std::filesystem::exists(out.path() / "docs" / "notes" / "todo.md"));
    }

    void pauseCountsAndStopEndsTheSave() {
        const auto image = vantor::test::fixtureImage("sample-disk.img");
        auto first = drivePageFor(image);
        VolumeScanDlg* page = walkToScanPage(*first, 0);
        QVERIFY(page);
        QVERIFY(waitForWorker(*page));
        CheckTree& tree = page->tree->model();
        vantor::test::ScratchDir out;
        page->outputFolder = QString::fromStdString(out.path().string());

        // Pause twice while the save's question holds the worker; the walk
        // then waits at its first file.
        SaveHeldAtQuestion held(testApp().messages);
        tree.select(tree.firstChild(kNoItem));
        page->save();
        QVERIFY(held.waitUntilAsked());
        QVERIFY(!page->pauseButton->isHidden());
        page->pauseButton->click();
        page->pauseButton->click();
        held.release();
        QTest::qWait(300);
        QVERIFY(page->workerRunning());
        page->resumeButton->click();  // one of two pauses undone: still paused
        QTest::qWait(300);
        QVERIFY(page->workerRunning());
        page->stopButton->click();  // Stop does not resume a paused worker
        QTest::qWait(300);
        QVERIFY(page->workerRunning());
        QVERIFY(!page->backButton()->isEnabled());
        page->resumeButton->click();
        QVERIFY(waitForWorker(*page));
        // Stopped before its first file: nothing written, and the user is told.
        QVERIFY(!std::filesystem::exists(out.path() / "readme.txt"));
        const auto texts = testApp().messages.texts();
        QVERIFY(std::find(texts.begin(), texts.end(), "work done") != texts.end());
        QVERIFY(page->progress->isHidden());

        // A Stop pressed before does not hold back the next save.
        testApp().messages.answers = {true};
        page->save();
        QVERIFY(waitForWorker(*page));
        QVERIFY(std::filesystem::exists(out.path() / "readme.txt"));
        QCOMPARE(page->progress->maximum(), page->progress->value());
        // The range is the count of every file below ROOT.
        const auto rootEntry = tree.data(tree.firstChild(kNoItem));
        QVERIFY(rootEntry);
        QCOMPARE(static_cast<std::int64_t>(page->progress->maximum()),
                 countFilesBelow(*page->session()->reader(), *rootEntry));
        QVERIFY(page->progress->maximum() >= 6);
    }

    void foldersOpenOnDemandAndAFileSavesOnDoubleClick() {
        const auto image = vantor::test::fixtureImage("sample-disk.img");
        const auto manifest = vantor::test::readJsonFile(vantor::test::fixtureSource("sample-disk.manifest.json"));
        auto first = drivePageFor(image);
        VolumeScanDlg* page = walkToScanPage(*first, 0);
        QVERIFY(page);
        QVERIFY(QTest::qWaitForWindowExposed(page));
        QVERIFY(waitForWorker(*page));
        CheckTree& tree = page->tree->model();
        const TreeItem root = tree.firstChild(kNoItem);
        const TreeItem pictures = childNamed(tree, root, "pictures");
        QVERIFY(pictures != kNoItem);
        // Before it is opened, a folder holds only its placeholder.
        QCOMPARE(childNames(tree, pictures), std::set<std::string>{"..DUMY.."});
        page->tree->viewItem(pictures)->setExpanded(true);
        QCOMPARE(childNames(tree, pictures), (std::set<std::string>{"icon.png", "photo.jpg"}));
        QVERIFY(tree.isExpanded(pictures));
        page->tree->viewItem(pictures)->setExpanded(false);
        page->tree->viewItem(pictures)->setExpanded(true);  // opened again: nothing changes
        QCOMPARE(tree.children(pictures).size(), std::size_t{2});

        vantor::test::ScratchDir out;
        page->outputFolder = QString::fromStdString(out.path().string());
        const TreeItem photo = childNamed(tree, pictures, "photo.jpg");
        page->tree->scrollToItem(page->tree->viewItem(photo));
        QTest::mouseDClick(page->tree->viewport(), Qt::LeftButton, {}, page->tree->labelRect(photo).center());
        QVERIFY(waitForWorker(*page));
        const auto saved = out.path() / "photo.jpg";
        QVERIFY(std::filesystem::exists(saved));
        for (const auto& f : manifest["files"])
            if (f["volume"] == 0 && f["path"] == "ROOT/pictures/photo.jpg") {
                QCOMPARE(vantor::test::sha256File(saved), f["sha256"].get<std::string>());
                QCOMPARE(mtimeOf(saved), f["mtime"].get<std::int64_t>());
            }

        // A double click on a folder lists its files by name only.
        page->tree->scrollToItem(page->tree->viewItem(pictures));
        QTest::mouseDClick(page->tree->viewport(), Qt::LeftButton, {}, page->tree->labelRect(pictures).center());
        page->list->sync();
        QCOMPARE(page->list->topLevelItemCount(), 2);
        QCOMPARE(page->list->topLevelItem(0)->text(4), QString());
    }

    void fatScanThroughThePages() {
        const auto image = vantor::test::fixtureImage("sample-disk.img");
        const auto manifest = vantor::test::readJsonFile(vantor::test::fixtureSource("sample-disk.manifest.json"));
        auto first = drivePageFor(image);
        VolumeScanDlg* page = walkToScanPage(*first, 1);
        QVERIFY(page);
        QCOMPARE(page->chosenVolume()->fileSystem, std::string("FAT32"));
        QVERIFY(waitForWorker(*page));
        CheckTree& tree = page->tree->model();
        const TreeItem root = tree.firstChild(kNoItem);
        if (root == kNoItem) QSKIP("no FAT32 reader in this build");
        QCOMPARE(tree.text(root), std::string("ROOT"));
        const auto shown = childNames(tree, root);
        for (const auto& f : manifest["files"]) {
            const std::string path = f["path"];
            if (f["volume"] == 1 && path.find('/', 5) == std::string::npos)
                QVERIFY2(shown.count(path.substr(5)), path.c_str());
        }
        page->searchEdit->setText("letter|minutes");
        page->search();
        QVERIFY(waitForWorker(*page));
        page->list->sync();
        std::set<QString> found;
        for (int i = 0; i < page->list->topLevelItemCount(); ++i) found.insert(page->list->topLevelItem(i)->text(0));
        QVERIFY(found.count("ROOT/Documents/letter.txt"));
        QVERIFY(found.count("ROOT/Documents/Archive/minutes-2019.txt"));
    }

    void aScanThatCannotRunLeavesBackOpen() {
        // No reader for the kind, and a mode the reader has no worker for:
        // in both the user can go back.
        const auto image = vantor::test::fixtureImage("sample-disk.img");
        auto first = drivePageFor(image);
        VolumeScanDlg* deep = walkToScanPage(*first, 0, 3);
        QVERIFY(deep);
        QVERIFY(waitForWorker(*deep));
        QVERIFY(deep->backButton()->isEnabled());
        QVERIFY(deep->tree->model().size() == 0);
        QVERIFY(deep->status->text().contains("not available"));
        deep->goBack();
        settle();

        auto* recovery = qobject_cast<ParceModeNtfsDlg*>(first->nextPage()->nextPage()->nextPage());
        QVERIFY(recovery);
        auto* volumes = qobject_cast<PopulateDriveDlg*>(recovery->opener());
        QVERIFY(volumes);
        volumes->show();
        volumes->addCustomVolume();
        volumes->goNext();
        auto* custom = qobject_cast<ParceModeNtfsDlg*>(volumes->nextPage());
        QVERIFY(custom);
        testApp().messages.clear();
        custom->goNext();
        auto* page = qobject_cast<VolumeScanDlg*>(custom->nextPage());
        QVERIFY(page);
        QCOMPARE(testApp().messages.last(), std::string("not a valid drive."));
        QCOMPARE(page->status->text(), QString("Not a valid Drive .Go back"));
        QVERIFY(page->backButton()->isEnabled());
        // Save and Search have nothing to work on.
        page->save();
        page->search();
        QCOMPARE(testApp().messages.texts().size(), std::size_t{1});
    }

    void aVolumeIsReadThroughItsOwnDevice() {
        // A volume picked on the first page (here an image of a bare volume
        // standing in for /dev/sdb1) goes through the volume information page.
        const auto image = vantor::test::fixtureImage("ntfs_basic.img");
        VolumeRecord v;
        v.fileSystem = "NTFS";
        v.rootPath = "/media/usb";
        v.volumeId = image.string();
        v.sizeText = "24  MB";
        v.startSector = 0;
        Physical_DriveDialog first({}, {v});
        first.show();
        first.tree()->setCurrentItem(first.volumesNode()->child(0));
        first.goNext();
        WizardPage* info = first.nextPage();
        QVERIFY(info);
        info->goNext();
        auto* recovery = qobject_cast<ParceModeNtfsDlg*>(info->nextPage());
        QVERIFY(recovery);
        recovery->goNext();
        auto* page = qobject_cast<VolumeScanDlg*>(recovery->nextPage());
        QVERIFY(page);
        QVERIFY(waitForWorker(*page));
        QCOMPARE(page->volumeData->text(), QString("/media/usb"));
        const CheckTree& tree = page->tree->model();
        if (tree.size() == 0) QSKIP("no NTFS reader in this build");
        QVERIFY(childNamed(tree, tree.firstChild(kNoItem), "docs") != kNoItem);
        page->goBack();
        settle();
    }

    void ntfsDeletedEntriesAreRed() {
        const auto image = vantor::test::fixtureImage("ntfs_basic.img");
        const vantor::test::SourceGuard guard(image);
        // A bare volume: the standard scan lists it as volume 0 at sector 0.
        auto first = drivePageFor(image);
        VolumeScanDlg* page = walkToScanPage(*first, 0);
        QVERIFY(page);
        QCOMPARE(page->chosenVolume()->fileSystem, std::string("NTFS"));
        QVERIFY(QTest::qWaitForWindowExposed(page));
        QVERIFY(waitForWorker(*page));
        CheckTree& tree = page->tree->model();
        const TreeItem root = tree.firstChild(kNoItem);
        if (tree.text(root) != "ROOT") QSKIP("no NTFS reader in this build");
        const TreeItem live = childNamed(tree, root, "sparse.bin");
        const TreeItem deletedFolder = childNamed(tree, root, "fill");
        QVERIFY(live != kNoItem && deletedFolder != kNoItem);
        QVERIFY(page->tree->viewItem(live)->foreground(0).style() == Qt::NoBrush);
        // A label click fills the folder and draws its deleted entries red.
        page->tree->scrollToItem(page->tree->viewItem(deletedFolder));
        clickAt(page->tree->viewport(), page->tree->labelRect(deletedFolder));
        const TreeItem gone = childNamed(tree, deletedFolder, "f000.bin");
        QVERIFY(gone != kNoItem);
        QCOMPARE(page->tree->viewItem(gone)->foreground(0).color(), QColor(255, 0, 0));
        page->list->sync();
        QVERIFY(page->list->topLevelItemCount() > 0);
        QCOMPARE(page->list->topLevelItem(0)->text(0), QString("f000.bin"));

        // The same kind of entry revealed by the expand arrow is not coloured.
        const TreeItem goneFolder = childNamed(tree, root, "gone");
        QVERIFY(goneFolder != kNoItem);
        page->tree->viewItem(goneFolder)->setExpanded(true);
        const TreeItem note = childNamed(tree, goneFolder, "note.txt");
        QVERIFY(note != kNoItem);
        QVERIFY(page->tree->viewItem(note)->foreground(0).style() == Qt::NoBrush);
        // Children inserted under a checked NTFS folder take its check.
        const TreeItem frag = childNamed(tree, root, "frag");
        QVERIFY(frag != kNoItem);
        tree.setCheck(frag, true);
        page->tree->viewItem(frag)->setExpanded(true);
        const TreeItem many = childNamed(tree, frag, "many.bin");
        QVERIFY(many != kNoItem);
        if (page->session()->reader()->treeTraits().childrenInheritCheck) QVERIFY(tree.getCheck(many));
        // Files take their icons from the desktop theme by type; folders the folder icon.
        QVERIFY(!page->tree->viewItem(live)->icon(0).isNull());
        page->goBack();
        settle();
        QVERIFY(guard.unchanged());
    }
};

int main(int argc, char** argv) {
    TestApp application(argc, argv);
    ResultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "results_test.moc"
