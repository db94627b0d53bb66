#pragma once
// What the wizard's tests share: the application with recorded messages and
// a recorded process end, following the page chain, waiting for workers.
#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "CCheckListCtrl.h"
#include "CVantorApp.h"
#include "CXHtmlTree.h"
#include "DriveParsingModes.h"
#include "ParceModeNtfsDlg.h"
#include "Physical_DriveDialog.h"
#include "PopulateDriveDlg.h"
#include "VolumeScanDlg.h"
#include "qt_seams.h"

namespace vantor::gui::test {

// The application every test program runs in: boxes replaced by recorded
// messages, the process end replaced by a counter, the manual by a recorder.
struct TestApp {
    TestApp(int& argc, char** argv);
    CVantorApp app;
    RecordedMessages messages;
    int endRequests = 0;
    QString openedUrl;
};
TestApp& testApp();

// A first page listing one "drive": the image at `imagePath`.
std::unique_ptr<Physical_DriveDialog> drivePageFor(const std::filesystem::path& imagePath);

// Lets deferred deletes and queued calls run.
void settle();

// Waits for the scan page's worker to end (false on timeout).
bool waitForWorker(VolumeScanDlg& page, int timeoutMs = 60000);

// From the first page to the scan page on volume row `row` of the image, in
// the given recovery mode. Returns null when a step did not hand over.
VolumeScanDlg* walkToScanPage(Physical_DriveDialog& first, int row, int mode = 1);

}  // namespace vantor::gui::test
