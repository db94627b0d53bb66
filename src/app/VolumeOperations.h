#pragma once
// The volume information page: name, file system and size of the volume
// picked on the first page; Next goes to the recovery mode page.
#include "WizardPage.h"

class QLabel;

namespace vantor::gui {

class VolumeOperations final : public WizardPage {
    Q_OBJECT
public:
    explicit VolumeOperations(WizardPage* opener);

    std::optional<VolumeRecord> chosenVolume() const override { return record; }
    void goNext() override;

    QLabel* nameText = nullptr;
    QLabel* fileSystemText = nullptr;
    QLabel* sizeText = nullptr;

private:
    std::optional<VolumeRecord> record;
};

}  // namespace vantor::gui
