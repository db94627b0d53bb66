// Grabs each page of the wizard on the sample disk into a folder:
//   QT_QPA_PLATFORM=offscreen vantor_gui_screenshots docs/screenshots
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTreeWidget>

#include <cstdio>

#include "gui_support.h"
#include "support/support.h"

using namespace vantor;
using namespace vantor::gui;
using namespace vantor::gui::test;

namespace {

QString folder;

void shoot(QWidget* page, const char* name) {
    settle();
    page->grab().save(folder + "/" + name + ".png");
    std::printf("%s/%s.png\n", qPrintable(folder), name);
}

}  // namespace

int main(int argc, char** argv) {
    TestApp application(argc, argv);
    folder = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots")).absolutePath();
    QDir().mkpath(folder);
    // The pages show the image's path: keep it short.
    QDir::setCurrent(QString::fromStdString(vantor::test::fixtureImage("sample-disk.img").parent_path().string()));
    application.messages.defaultAnswer = true;

    Physical_DriveDialog* first = new Physical_DriveDialog({}, {});
    first->resize(1120, 620);
    first->show();
    first->openImage(QStringLiteral("sample-disk.img"));
    shoot(first, "1-drive-selection");  // as it was left: the image listed and selected
    auto* modes = qobject_cast<DriveParsingModes*>(first->nextPage());
    if (!modes) return 1;
    shoot(modes, "2-scan-mode");
    modes->goNext();
    auto* volumes = qobject_cast<PopulateDriveDlg*>(modes->nextPage());
    if (!volumes || volumes->list->topLevelItemCount() == 0) return 1;
    volumes->list->setCurrentItem(volumes->list->topLevelItem(0));
    shoot(volumes, "3-volume-list");
    volumes->goNext();
    auto* recovery = qobject_cast<ParceModeNtfsDlg*>(volumes->nextPage());
    if (!recovery) return 1;
    shoot(recovery, "4-recovery-mode");
    recovery->goNext();
    auto* scan = qobject_cast<VolumeScanDlg*>(recovery->nextPage());
    if (!scan || !waitForWorker(*scan)) return 1;
    CheckTree& tree = scan->tree->model();
    const TreeItem root = tree.firstChild(kNoItem);
    for (TreeItem c = tree.firstChild(root); c != kNoItem; c = tree.nextSibling(c))
        if (tree.text(c) == "docs") {
            scan->tree->viewItem(c)->setExpanded(true);
            tree.setCheck(c, true);
        }
    QTest::mouseClick(scan->tree->viewport(), Qt::LeftButton, {}, scan->tree->labelRect(root).center());
    scan->list->sync();
    shoot(scan, "5-results");
    scan->searchEdit->setText("txt|md|png");
    scan->search();
    if (!waitForWorker(*scan)) return 1;
    scan->list->sync();
    shoot(scan, "6-search");
    scan->goBack();
    settle();
    delete first;
    return 0;
}
