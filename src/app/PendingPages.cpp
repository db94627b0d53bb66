#include "PendingPages.h"

#include <QLabel>
#include <QVBoxLayout>

#include "CVantorApp.h"
#include "qt_seams.h"

namespace vantor::gui {

PendingPage::PendingPage(WizardPage* opener, int pageId, const QString& heading, const QString& whatText)
    : WizardPage(opener, pageId, heading), what(whatText) {
    if (opener) record = opener->chosenVolume();
    auto* label = new QLabel(notAvailableText(what), this);
    label->setWordWrap(true);
    body()->addWidget(label);
    if (record)
        body()->addWidget(new QLabel(QStringLiteral("Volume: %1   %2   start sector %3")
                                         .arg(qs(record->rootPath.empty() ? record->volumeId : record->rootPath),
                                              qs(record->fileSystem))
                                         .arg(static_cast<qlonglong>(record->startSector)),
                                     this));
    body()->addStretch(1);
}

QString PendingPage::notAvailableText(const QString& what) {
    return QStringLiteral("The %1 is not available yet in this version. Go Back and choose another mode.").arg(what);
}

void PendingPage::goNext() { app().inform(notAvailableText(what)); }

advanceOptions::advanceOptions(WizardPage* opener)
    : PendingPage(opener, kAdvancedInputPage, QStringLiteral("Advanced input"),
                  QStringLiteral("advanced recovery mode")) {}

RawRecoveryDialog::RawRecoveryDialog(WizardPage* opener)
    : PendingPage(opener, kRawRecoveryPage, QStringLiteral("Raw recovery"),
                  QStringLiteral("raw (signature) recovery")) {}

}  // namespace vantor::gui
