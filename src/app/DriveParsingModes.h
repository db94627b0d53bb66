#pragma once
// The scan mode page: opens the shared reader on the chosen drive or image and
// asks how its volumes are found: the partition tables (optionally GPT) or a
// sweep of the sectors (optionally over a range, without skipping volumes).
#include "WizardPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace vantor::gui {

// What the volume list page is handed.
struct ScanChoice {
    QString devicePath;
    int scanMode = 1;  // 1 partition tables, 2 sweep
    bool gptFormat = false;
    bool noSkip = false;
    std::int64_t customStartSector = 0;
    std::int64_t customEndSector = 0;
};

class DriveParsingModes final : public WizardPage {
    Q_OBJECT
public:
    DriveParsingModes(WizardPage* opener, const QString& devicePath);

    // The choices as Next hands them on.
    ScanChoice choice() const;
    void goNext() override;

    QRadioButton* standardScan = nullptr;
    QRadioButton* advanceScan = nullptr;
    QCheckBox* gptFormat = nullptr;
    QCheckBox* noSkip = nullptr;
    QCheckBox* customSetting = nullptr;
    QLineEdit* startEdit = nullptr;
    QLineEdit* endEdit = nullptr;
    QLabel* pathLabel = nullptr;

private:
    void chooseStandard();
    void chooseAdvance();
    void customToggled();

    QString path;
    QLabel* startLabel = nullptr;
    QLabel* endLabel = nullptr;
};

// A line edit that takes only digits.
QLineEdit* numberEdit(QWidget* parent);

}  // namespace vantor::gui
