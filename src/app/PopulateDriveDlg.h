#pragma once
#include <map>
// The volume list page: finds the volumes of the drive or image (partition
// tables on the UI thread, the sector sweep on a worker), lists one row per
// volume, lets the user correct a volume by hand, and goes on to the recovery
// mode page (or the raw recovery page for a volume treated as "RAW").
#include <memory>
#include <thread>
#include <vector>

#include "DriveParsingModes.h"
#include "WizardPage.h"
#include "device/Partition.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantor::gui {

class ProgressRelay;

class PopulateDriveDlg final : public WizardPage {
    Q_OBJECT
public:
    PopulateDriveDlg(WizardPage* opener, ScanChoice choice);
    ~PopulateDriveDlg() override;

    const ScanChoice& scanChoice() const { return handed; }
    const std::vector<VolumeRecord>& records() const { return volumeRecords; }
    bool sweepRunning() const { return worker.joinable() && !sweepDone; }

    // The record of the selected row as Next left it.
    std::optional<VolumeRecord> chosenVolume() const override;
    void goNext() override;
    void goBack() override;

    // Lists records as the standard scan does: rows in record order, numbered from 0.
    void showRecords(std::vector<VolumeRecord> records);
    void filterEntries();
    void addCustomVolume();
    void stop();
    // The spin arrows of the start and end edits.
    static void stepUp(QLineEdit* edit);
    static void stepDown(QLineEdit* edit);

    QTreeWidget* list = nullptr;
    QPushButton* filterButton = nullptr;
    QPushButton* addButton = nullptr;
    QPushButton* stopButton = nullptr;
    QCheckBox* customSettings = nullptr;
    QLabel* selectedVolume = nullptr;
    QLineEdit* startEdit = nullptr;
    QLineEdit* endEdit = nullptr;
    QToolButton* startUp = nullptr;
    QToolButton* startDown = nullptr;
    QToolButton* endUp = nullptr;
    QToolButton* endDown = nullptr;
    QComboBox* treatAs = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* status = nullptr;

signals:
    // The sweep ended and its rows are in the list.
    void sweepFinished();

private:
    void buildWidgets();
    void standardScan();
    void startSweep();
    void sweepEnded();
    QTreeWidgetItem* makeRow(std::size_t index);
    void rowSelected();
    void rowClicked(QTreeWidgetItem* row);
    void customToggled();
    void addFoundRecord(const VolumeRecord& record);

    ScanChoice handed;
    std::vector<VolumeRecord> volumeRecords;
    std::map<std::size_t, VolumeRecord> asFound;  // rows as the scan found them, before custom settings
    std::optional<std::size_t> chosen;  // the record Next went on with
    bool customApplied = false;
    std::shared_ptr<readWriteInterface> device;  // what the sweep reads, kept for its whole run
    std::unique_ptr<Partition> context;
    std::unique_ptr<ProgressRelay> relay;
    std::thread worker;
    bool sweepDone = false;
    QList<QWidget*> customWidgets;
};

}  // namespace vantor::gui
