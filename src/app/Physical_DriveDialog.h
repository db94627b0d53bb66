#pragma once
// The first page: the machine's physical drives and volumes in one tree, and
// disk images the user opens. Next goes to the scan mode page for a drive or
// an image, to the volume information page for a volume.
#include <QString>

#include <vector>

#include "WizardPage.h"
#include "device/enumeration.h"

class QTreeWidget;
class QTreeWidgetItem;
class QLabel;

namespace vantor::gui {

class Physical_DriveDialog final : public WizardPage {
    Q_OBJECT
public:
    // Lists this machine's drives and volumes.
    Physical_DriveDialog();
    // Lists the given ones (tests, and a machine whose /sys is elsewhere).
    Physical_DriveDialog(std::vector<PhysicalDrive> drives, std::vector<VolumeRecord> volumes);
    ~Physical_DriveDialog() override;

    QTreeWidget* tree() const { return driveTree; }
    QTreeWidgetItem* volumesNode() const { return volumes; }
    QTreeWidgetItem* drivesNode() const { return drives; }
    QTreeWidgetItem* imagesNode() const { return images; }

    // The device path of the selected drive or image (empty for anything else).
    QString selectedDevicePath() const;
    std::optional<VolumeRecord> chosenVolume() const override;

    // Adds an image file under "DISK IMAGES:", selects it and goes on as Next does.
    void openImage(const QString& path);
    void goNext() override;

private:
    void build(const std::vector<PhysicalDrive>& driveList);
    void pickImage();
    void restartWithRights();

    QTreeWidget* driveTree = nullptr;
    QTreeWidgetItem* volumes = nullptr;
    QTreeWidgetItem* drives = nullptr;
    QTreeWidgetItem* images = nullptr;
    QLabel* rightsNote = nullptr;
    std::vector<VolumeRecord> volumeRecords;
};

}  // namespace vantor::gui
