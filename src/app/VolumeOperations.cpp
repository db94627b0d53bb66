#include "VolumeOperations.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "CVantorApp.h"
#include "ParceModeNtfsDlg.h"
#include "qt_seams.h"

namespace vantor::gui {

VolumeOperations::VolumeOperations(WizardPage* opener)
    : WizardPage(opener, kVolumeInfoPage, QStringLiteral("Volume information")) {
    if (opener && sourcePageId() == kDrivePage) record = opener->chosenVolume();
    auto* group = new QGroupBox(QStringLiteral("Volume Information:"), this);
    auto* form = new QFormLayout(group);
    nameText = new QLabel(group);
    fileSystemText = new QLabel(group);
    sizeText = new QLabel(group);
    form->addRow(QStringLiteral("Volume Name:"), nameText);
    form->addRow(QStringLiteral("Volume File System:"), fileSystemText);
    form->addRow(QStringLiteral("Volume Size:"), sizeText);
    body()->addWidget(group);
    body()->addStretch(1);
    if (record) {
        nameText->setText(qs(record->rootPath));
        fileSystemText->setText(qs(record->fileSystem));
        sizeText->setText(qs(record->sizeText));
    }
    nextButton()->setEnabled(true);
}

void VolumeOperations::goNext() { handOver(new ParceModeNtfsDlg(this)); }

}  // namespace vantor::gui
