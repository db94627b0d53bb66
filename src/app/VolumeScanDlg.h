#pragma once
// The scan and results page: runs the chosen volume's reader on a worker
// (through the scan session), shows progress with Pause, Resume and Stop,
// then the tree of what was found beside the file list, Save and Search.
// Every worker (scan, save, search) reports through queued signals; the
// tree and the list are touched on the UI thread only.
#include <QString>

#include <memory>

#include "WizardPage.h"
#include "results/results_tree.h"
#include "results/scan_session.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vantor::gui {

class CCheckListCtrl;
class CXHtmlTree;
class ProgressRelay;

class VolumeScanDlg final : public WizardPage {
    Q_OBJECT
public:
    // `pageMode`: 1 standard, 2 advanced, 3 deep.
    VolumeScanDlg(WizardPage* opener, VolumeRecord volume, int pageMode);
    ~VolumeScanDlg() override;

    std::optional<VolumeRecord> chosenVolume() const override { return record; }
    bool workerRunning() const { return run && run->workerRunning(); }
    ScanRun* session() { return run.get(); }
    const FileList& fileList() const { return files; }

    // The folder Save writes into; Save asks for one while it is empty.
    QString outputFolder;

    void save();
    void search();
    void saveFile(TreeItem item);
    void goBack() override;

    // The tree path of an item: "ROOT/docs/a.txt".
    std::string entryPath(TreeItem item) const;

    QLineEdit* volumeData = nullptr;
    QLineEdit* searchEdit = nullptr;
    QPushButton* searchButton = nullptr;
    CXHtmlTree* tree = nullptr;
    CCheckListCtrl* list = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* pauseButton = nullptr;
    QPushButton* resumeButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* saveButton = nullptr;
    QLabel* status = nullptr;
    QLabel* fileLabel = nullptr;

signals:
    // A worker (scan, save or search) has ended and the page shows its result.
    void workerFinished();

private:
    void buildWidgets();
    void startScan();
    void workerStarted(bool dimTree);
    void workerEnded();
    void labelClicked(TreeItem item);
    void expanding(TreeItem item);
    void doubleClicked(TreeItem item);
    bool chooseOutputFolder();
    // What a save hands back when it ends: the summary of what went wrong.
    std::function<void(const SaveReport&)> reportSave();

    VolumeRecord record;
    int mode = 1;
    FileList files;
    std::unique_ptr<ProgressRelay> relay;
    // The session reads through this reader; a later selection replaces the
    // application's shared reader, never this page's.
    std::shared_ptr<readWriteInterface> device;
    std::unique_ptr<ScanRun> run;
    bool scanning = false;
    bool searching = false;
};

}  // namespace vantor::gui
