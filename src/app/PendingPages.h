#pragma once
// Pages that have their place in the chain but whose work is not built yet:
// the advanced input page and the raw (signature) recovery page. Their Next
// tells the user so plainly.
#include "WizardPage.h"

class QLabel;

namespace vantor::gui {

class PendingPage : public WizardPage {
    Q_OBJECT
public:
    PendingPage(WizardPage* opener, int pageId, const QString& heading, const QString& what);
    std::optional<VolumeRecord> chosenVolume() const override { return record; }
    void goNext() override;
    static QString notAvailableText(const QString& what);

private:
    std::optional<VolumeRecord> record;
    QString what;
};

class advanceOptions final : public PendingPage {
    Q_OBJECT
public:
    explicit advanceOptions(WizardPage* opener);
};

class RawRecoveryDialog final : public PendingPage {
    Q_OBJECT
public:
    explicit RawRecoveryDialog(WizardPage* opener);
};

}  // namespace vantor::gui
