#include "DriveParsingModes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "CVantorApp.h"
#include "PopulateDriveDlg.h"
#include "qt_seams.h"

namespace vantor::gui {

QLineEdit* numberEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,19}")), edit));
    return edit;
}

DriveParsingModes::DriveParsingModes(WizardPage* opener, const QString& devicePath)
    : WizardPage(opener, kScanModePage, QStringLiteral(" Drive Parsing Modes")), path(devicePath) {
    auto* group = new QGroupBox(QStringLiteral("Select Mode:"), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Currently Selected Drive :"), group), 0, 0);
    pathLabel = new QLabel(path, group);
    grid->addWidget(pathLabel, 0, 1, 1, 3);
    standardScan = new QRadioButton(QStringLiteral("Standard Scan"), group);
    grid->addWidget(standardScan, 1, 0);
    gptFormat = new QCheckBox(QStringLiteral("GPT format"), group);
    grid->addWidget(gptFormat, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("* Check If Partition type is GPT"), group), 2, 2, 1, 2);
    advanceScan = new QRadioButton(QStringLiteral("Advance Scan"), group);
    grid->addWidget(advanceScan, 3, 0);
    noSkip = new QCheckBox(QStringLiteral("Do not Skip Volume Size While Parsing in Advance  Scan "), group);
    grid->addWidget(noSkip, 4, 1, 1, 3);
    customSetting = new QCheckBox(QStringLiteral("Custom Setting:"), group);
    grid->addWidget(customSetting, 5, 1);
    startLabel = new QLabel(QStringLiteral("Starting Sector:"), group);
    startEdit = numberEdit(group);
    endLabel = new QLabel(QStringLiteral("Ending Sector:"), group);
    endEdit = numberEdit(group);
    grid->addWidget(startLabel, 6, 1);
    grid->addWidget(startEdit, 6, 2);
    grid->addWidget(endLabel, 7, 1);
    grid->addWidget(endEdit, 7, 2);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(8, 1);
    body()->addWidget(group, 1);
    body()->addWidget(new QLabel(QStringLiteral("Choose any one of the mode and Click Next...."), this));

    startLabel->setEnabled(false);
    endLabel->setEnabled(false);
    startEdit->setEnabled(false);
    endEdit->setEnabled(false);

    // The page opens the shared reader on the drive; a failure is told by the
    // reader ("invalid handle ...") and the page still opens.
    if (FileReadSeek* reader = app().reader()) {
        reader->open(ss(path));
        app().deviceTotalSectors = reader->deviceTotalSectors();
    }

    startEdit->setText(QStringLiteral("0"));
    endEdit->setText(QStringLiteral("0"));
    connect(standardScan, &QRadioButton::clicked, this, [this] { chooseStandard(); });
    connect(advanceScan, &QRadioButton::clicked, this, [this] { chooseAdvance(); });
    connect(customSetting, &QCheckBox::toggled, this, [this] { customToggled(); });
    chooseStandard();
}

void DriveParsingModes::chooseStandard() {
    standardScan->setChecked(true);
    advanceScan->setChecked(false);
    noSkip->setEnabled(false);  // its tick stays
    customSetting->setEnabled(false);
    if (customSetting->isChecked()) customSetting->setChecked(false);  // toggled() applies its handler
}

void DriveParsingModes::chooseAdvance() {
    standardScan->setChecked(false);
    advanceScan->setChecked(true);
    noSkip->setEnabled(true);
    customSetting->setEnabled(true);
}

void DriveParsingModes::customToggled() {
    const bool on = customSetting->isChecked();
    startLabel->setEnabled(on);
    endLabel->setEnabled(on);
    startEdit->setEnabled(on);
    endEdit->setEnabled(on);
}

ScanChoice DriveParsingModes::choice() const {
    ScanChoice c;
    c.devicePath = path;
    c.scanMode = standardScan->isChecked() ? 1 : 2;
    c.gptFormat = gptFormat->isChecked();
    c.noSkip = noSkip->isChecked();
    if (customSetting->isChecked()) {
        const std::int64_t start = leadingNumber(ss(startEdit->text()));
        const std::int64_t end = leadingNumber(ss(endEdit->text()));
        if (end >= 0) {
            c.customStartSector = start;
            c.customEndSector = end;
        }
    }
    return c;
}

void DriveParsingModes::goNext() { handOver(new PopulateDriveDlg(this, choice())); }

}  // namespace vantor::gui
