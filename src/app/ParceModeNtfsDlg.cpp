#include "ParceModeNtfsDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "CVantorApp.h"
#include "DriveParsingModes.h"
#include "PendingPages.h"
#include "VolumeScanDlg.h"
#include "qt_seams.h"

namespace vantor::gui {

ParceModeNtfsDlg::ParceModeNtfsDlg(WizardPage* opener)
    : WizardPage(opener, kRecoveryModePage, QStringLiteral("Recovery mode")) {
    if (opener) record = opener->chosenVolume();
    auto* group = new QGroupBox(QStringLiteral("Select Recovery Mode:"), this);
    auto* grid = new QGridLayout(group);
    standard = new QRadioButton(QStringLiteral("Standard"), group);
    advanced = new QRadioButton(QStringLiteral("Advanced"), group);
    deep = new QRadioButton(QStringLiteral("Deep"), group);
    // The page decides which one is checked; the radios do not exclude each other by themselves.
    for (QRadioButton* r : {standard, advanced, deep}) r->setAutoExclusive(false);
    maxLabel = new QLabel(QStringLiteral("Please Enter Max File Systems to Find :"), group);
    maxEdit = numberEdit(group);
    maxNote = new QLabel(QStringLiteral("( By  Default  it's  = 3 )"), group);
    formatted = new QCheckBox(QStringLiteral("Is Drive Formated..?"), group);
    grid->addWidget(standard, 0, 0);
    grid->addWidget(advanced, 1, 0);
    grid->addWidget(maxLabel, 2, 1);
    grid->addWidget(maxEdit, 2, 2);
    grid->addWidget(maxNote, 2, 3);
    grid->addWidget(formatted, 3, 1);
    grid->addWidget(deep, 4, 0);
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(5, 1);
    body()->addWidget(group, 1);
    if (record) {
        body()->addWidget(new QLabel(QStringLiteral("Volume: %1   %2   %3")
                                         .arg(qs(record->rootPath.empty() ? record->volumeId : record->rootPath),
                                              qs(record->fileSystem), qs(record->sizeText)),
                                     this));
    }

    connect(standard, &QRadioButton::clicked, this, [this] { chooseStandard(); });
    connect(advanced, &QRadioButton::clicked, this, [this] { chooseAdvanced(); });
    connect(deep, &QRadioButton::clicked, this, [this] { chooseDeep(); });
    connect(formatted, &QCheckBox::toggled, this, [](bool on) { app().state.isDriveFormatted = on; });

    maxLabel->hide();
    maxEdit->hide();
    maxNote->hide();
    formatted->hide();
    chooseStandard();

    prefix = record ? qs(record->fileSystem).trimmed().left(3) : QString();
    // The modes the volume's format offers; a name no reader knows keeps all three.
    format = record ? formatFor(record->fileSystem) : nullptr;
    if (format) {
        standard->setVisible(format->standard);
        advanced->setVisible(format->advanced);
        deep->setVisible(format->deep);
    }
}

int ParceModeNtfsDlg::maxFileSystems() const {
    const std::int64_t value = leadingNumber(ss(maxEdit->text()));
    return value > 0 && value < 1000000 ? static_cast<int>(value) : 3;
}

void ParceModeNtfsDlg::chooseStandard() { choose(1); }
void ParceModeNtfsDlg::chooseAdvanced() { choose(2); }
void ParceModeNtfsDlg::chooseDeep() { choose(3); }

// One radio button per mode; the advanced mode alone asks how many file
// systems to look for, and offers "formatted" for FAT.
void ParceModeNtfsDlg::choose(int chosen) {
    app().state.isDriveFormatted = false;
    formatted->setChecked(false);
    const bool isAdvanced = chosen == 2;
    maxLabel->setVisible(isAdvanced);
    maxEdit->setVisible(isAdvanced);
    maxNote->setVisible(isAdvanced);
    formatted->setVisible(isAdvanced && format && format->offersFormatted);
    standard->setChecked(chosen == 1);
    advanced->setChecked(isAdvanced);
    deep->setChecked(chosen == 3);
    mode = chosen;
}

void ParceModeNtfsDlg::goNext() {
    if (mode == 0 || !record) return;
    if (mode == 2) handOver(new advanceOptions(this));
    else handOver(new VolumeScanDlg(this, *record, mode));
}

}  // namespace vantor::gui
