#pragma once
// The recovery mode page: Standard, Advanced or Deep, as far as the chosen
// volume's file system offers them, and the "formatted" option of FAT.
#include "WizardPage.h"
#include "results/format_table.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace vantor::gui {

class ParceModeNtfsDlg final : public WizardPage {
    Q_OBJECT
public:
    explicit ParceModeNtfsDlg(WizardPage* opener);

    std::optional<VolumeRecord> chosenVolume() const override { return record; }
    // 1 Standard, 2 Advanced, 3 Deep; 0 before any choice.
    int recoveryMode() const { return mode; }
    // "Max File Systems to Find", 3 when not positive.
    int maxFileSystems() const;
    QString fsPrefix() const { return prefix; }
    void goNext() override;

    QRadioButton* standard = nullptr;
    QRadioButton* advanced = nullptr;
    QRadioButton* deep = nullptr;
    QCheckBox* formatted = nullptr;
    QLineEdit* maxEdit = nullptr;
    QLabel* maxLabel = nullptr;
    QLabel* maxNote = nullptr;

    void chooseStandard();
    void chooseAdvanced();
    void chooseDeep();
    void choose(int chosen);

private:
    std::optional<VolumeRecord> record;
    QString prefix;
    const FormatRow* format = nullptr;
    int mode = 0;
};

}  // namespace vantor::gui
