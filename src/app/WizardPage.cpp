#include "WizardPage.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "CVantorApp.h"

namespace vantor::gui {

namespace {

QLabel* banner(const QString& heading, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setText(QStringLiteral("<span style='font-size:16pt; font-weight:600'>%1</span>"
                                  "<br><span style='font-size:10pt'>%2</span>")
                       .arg(CVantorApp::title().toHtmlEscaped(), heading.toHtmlEscaped()));
    label->setAutoFillBackground(true);
    label->setStyleSheet(QStringLiteral("QLabel { background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
                                        " stop:0 #1d3a5f, stop:1 #3f7cac); color: white; padding: 10px; }"));
    label->setMinimumHeight(60);
    return label;
}

// The About box: the title in a larger font, an OK button, and it can be
// dragged by any point of its surface.
class CZephlinAboutDlg final : public QDialog {
public:
    explicit CZephlinAboutDlg(QWidget* parent) : QDialog(parent) {
        setWindowTitle(CVantorApp::title());
        auto* layout = new QVBoxLayout(this);
        auto* name = new QLabel(CVantorApp::title(), this);
        QFont font(QStringLiteral("Arial"));
        font.setPointSize(18);
        font.setBold(true);
        name->setFont(font);
        layout->addWidget(name);
        layout->addWidget(new QLabel(QStringLiteral("Version %1\nReads disks and disk images read-only, finds their "
                                                    "volumes and recovers files,\ndeleted ones included.")
                                         .arg(QStringLiteral(VANTOR_VERSION_TEXT)),
                                     this));
        auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, this);
        connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
        layout->addWidget(box);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override { grab = e->globalPosition().toPoint() - frameGeometry().topLeft(); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() & Qt::LeftButton) move(e->globalPosition().toPoint() - grab);
    }

private:
    QPoint grab;
};

}  // namespace

QPushButton* plainButton(const QString& caption, QWidget* parent, const QString& tip) {
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setToolTip(tip.isEmpty() ? caption : tip);
    return button;
}

WizardPage::WizardPage(WizardPage* opener, int pageId, const QString& heading)
    : QDialog(opener), openerPage(opener), id(pageId), sourceId(opener ? opener->pageId() : 0) {
    setWindowTitle(CVantorApp::title());
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);
    resize(860, 560);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 8);
    outer->addWidget(banner(heading, this));
    content = new QVBoxLayout();
    content->setContentsMargins(12, 6, 12, 6);
    outer->addLayout(content, 1);

    buttons = new QHBoxLayout();
    buttons->setContentsMargins(12, 0, 12, 0);
    help = new QToolButton(this);
    help->setText(QStringLiteral("Help"));
    help->setToolTip(QStringLiteral("Help"));
    help->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
    help->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    help->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(help);
    menu->addAction(QStringLiteral("Help"), this, [] { app().openHelp(); });
    menu->addAction(QStringLiteral("About"), this, [this] { showAbout(this); });
    help->setMenu(menu);
    buttons->addWidget(help);
    buttons->addStretch(1);
    back = plainButton(QStringLiteral("Back"), this);
    back->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    next = plainButton(QStringLiteral("Next"), this);
    next->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    buttons->addWidget(back);
    buttons->addWidget(next);
    outer->addLayout(buttons);
    back->setVisible(opener != nullptr);

    connect(back, &QPushButton::clicked, this, [this] { goBack(); });
    connect(next, &QPushButton::clicked, this, [this] { goNext(); });
}

void WizardPage::showAbout(QWidget* parent) {
    CZephlinAboutDlg box(parent);
    box.exec();
}

void WizardPage::handOver(WizardPage* page) {
    following = page;
    page->move(pos());
    page->resize(size());
    page->show();
    hide();
}

void WizardPage::goBack() {
    if (!openerPage) return;
    openerPage->move(pos());
    openerPage->show();
    hide();
    deleteLater();
}

void WizardPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();  // swallowed: neither presses a button nor leaves the page
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void WizardPage::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (app().ask(QStringLiteral("Do you want to Close Application ?"))) app().endProcess();
}

}  // namespace vantor::gui
