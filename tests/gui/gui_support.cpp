#include "gui_support.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace vantor::gui::test {

namespace {
TestApp* current = nullptr;
}

TestApp::TestApp(int& argc, char** argv) : app(argc, argv) {
    current = this;
    app.setMessages(&messages);
    app.endProcess = [this] { ++endRequests; };
    app.openUrl = [this](const QString& url) { openedUrl = url; };
}

TestApp& testApp() { return *current; }

std::unique_ptr<Physical_DriveDialog> drivePageFor(const std::filesystem::path& imagePath) {
    PhysicalDrive drive;
    drive.number = 0;
    drive.devicePath = imagePath.string();
    drive.label = "Fixture disk";
    return std::make_unique<Physical_DriveDialog>(std::vector<PhysicalDrive>{drive}, std::vector<VolumeRecord>{});
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

bool waitForWorker(VolumeScanDlg& page, int timeoutMs) {
    return QTest::qWaitFor([&] {
        settle();
        return !page.workerRunning() && page.backButton()->isEnabled();
    }, timeoutMs);
}

VolumeScanDlg* walkToScanPage(Physical_DriveDialog& first, int row, int mode) {
    first.show();
    first.tree()->setCurrentItem(first.drivesNode()->child(0));
    first.goNext();
    auto* modes = qobject_cast<DriveParsingModes*>(first.nextPage());
    if (!modes) return nullptr;
    modes->goNext();
    auto* volumes = qobject_cast<PopulateDriveDlg*>(modes->nextPage());
    if (!volumes || volumes->list->topLevelItemCount() <= row) return nullptr;
    volumes->list->setCurrentItem(volumes->list->topLevelItem(row));
    volumes->goNext();
    auto* recovery = qobject_cast<ParceModeNtfsDlg*>(volumes->nextPage());
    if (!recovery) return nullptr;
    if (mode == 3) recovery->chooseDeep();
    recovery->goNext();
    return qobject_cast<VolumeScanDlg*>(recovery->nextPage());
}

}  // namespace vantor::gui::test
