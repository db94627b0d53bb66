#pragma once
// What every page of the wizard shares: the window title, the banner, the
// Help menu (Help and About), Back and Next, the close confirmation, and the
// hand-over to the next page. Enter and Escape do nothing on any page.
#include <QDialog>
#include <QPointer>

#include <optional>

#include "device/VolumeRecord.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace vantor::gui {

class WizardPage : public QDialog {
    Q_OBJECT
public:
    // `opener` is the page that opened this one (null for the first page); it
    // stays, hidden, while this page shows, and owns this page.
    WizardPage(WizardPage* opener, int pageId, const QString& heading);

    WizardPage* opener() const { return openerPage; }
    int pageId() const { return id; }
    // The id of the page that opened this one.
    int sourcePageId() const { return sourceId; }

    QPushButton* backButton() const { return back; }
    QPushButton* nextButton() const { return next; }
    QToolButton* helpButton() const { return help; }

    // The volume this page has chosen, for the pages after it.
    virtual std::optional<VolumeRecord> chosenVolume() const { return std::nullopt; }

    // The page shown after this one, if any (tests follow the chain).
    WizardPage* nextPage() const { return following; }

    // Back: shows the opener again and destroys this page (and the pages it opened).
    virtual void goBack();
    // Next, as the page's own handler does it.
    virtual void goNext() {}

    // The common About box.
    static void showAbout(QWidget* parent);

protected:
    // Shows `page` in place of this one.
    void handOver(WizardPage* page);
    // Where a page puts its own widgets.
    QVBoxLayout* body() const { return content; }
    QHBoxLayout* buttonRow() const { return buttons; }

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}  // nothing but the close box leaves a page
    void accept() override {}

private:
    QPointer<WizardPage> openerPage;
    QPointer<WizardPage> following;
    int id = 0;
    int sourceId = 0;
    QVBoxLayout* content = nullptr;
    QHBoxLayout* buttons = nullptr;
    QToolButton* help = nullptr;
    QPushButton* back = nullptr;
    QPushButton* next = nullptr;
};

// Makes a push button that never acts on Enter (pages swallow Enter).
QPushButton* plainButton(const QString& caption, QWidget* parent, const QString& tip = {});

}  // namespace vantor::gui
