#include "VolumeScanDlg.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include "CCheckListCtrl.h"
#include "CVantorApp.h"
#include "CXHtmlTree.h"
#include "qt_seams.h"
#include "results/entry_walk.h"

namespace vantor::gui {

namespace {

bool onUiThread() { return QThread::currentThread() == qApp->thread(); }

ScanMode scanModeOf(int pageMode) {
    switch (pageMode) {
        case 2: return ScanMode::advanced;
        case 3: return ScanMode::deep;
        default: return ScanMode::standard;
    }
}

}  // namespace

VolumeScanDlg::VolumeScanDlg(WizardPage* opener, VolumeRecord volume, int pageMode)
    : WizardPage(opener, kScanPage, QStringLiteral("Scan and results")),
      record(std::move(volume)),
      mode(pageMode),
      relay(std::make_unique<ProgressRelay>()) {
    buildWidgets();
    startScan();
}

VolumeScanDlg::~VolumeScanDlg() {
    run.reset();      // stops and collects the worker before the widgets go
    list->detach();   // the file list model dies with this page's members
}

void VolumeScanDlg::buildWidgets() {
    nextButton()->hide();
    auto* top = new QGridLayout();
    top->addWidget(new QLabel(QStringLiteral("Volume Data:"), this), 0, 0);
    volumeData = new QLineEdit(this);
    volumeData->setReadOnly(true);
    top->addWidget(volumeData, 0, 1);
    searchEdit = new QLineEdit(this);
    searchEdit->setPlaceholderText(QStringLiteral("jpg|png"));
    top->addWidget(searchEdit, 0, 2);
    searchButton = plainButton(QStringLiteral("Search"), this);
    searchButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    top->addWidget(searchButton, 0, 3);
    top->addWidget(new QLabel(QStringLiteral("* Use \"|\" to find multiple file type "), this), 0, 4);
    top->setColumnStretch(1, 1);
    top->setColumnStretch(2, 1);
    body()->addLayout(top);

    auto* split = new QSplitter(Qt::Horizontal, this);
    tree = new CXHtmlTree(split);
    list = new CCheckListCtrl(split);
    split->addWidget(tree);
    split->addWidget(list);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 4);
    body()->addWidget(split, 1);

    list->setColumnCount(6);
    list->setHeaderLabels({QStringLiteral("File(s) List"), QStringLiteral("Creation Time"),
                           QStringLiteral("Access Time"), QStringLiteral("Modification Time"), QStringLiteral("Size"),
                           QStringLiteral("Attribute")});
    const int widths[] = {200, 155, 155, 155, 80, 90};
    for (int c = 0; c < 6; ++c) list->setColumnWidth(c, widths[c]);
    list->attach(files.list);
    list->setUpHeaderBox();
    files.list.onRowCheckClicked = [this](std::size_t row, bool wasChecked) {
        mirrorRowCheck(tree->model(), files, row, wasChecked);
    };

    auto* bar = new QHBoxLayout();
    progress = new QProgressBar(this);
    progress->setTextVisible(false);
    pauseButton = plainButton(QStringLiteral("Pause"), this);
    pauseButton->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
    resumeButton = plainButton(QStringLiteral("Resume"), this);
    resumeButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    stopButton = plainButton(QStringLiteral("Stop"), this);
    stopButton->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    bar->addWidget(progress, 1);
    bar->addWidget(pauseButton);
    bar->addWidget(resumeButton);
    bar->addWidget(stopButton);
    body()->addLayout(bar);
    status = new QLabel(this);
    fileLabel = new QLabel(this);
    body()->addWidget(status);
    body()->addWidget(fileLabel);

    saveButton = plainButton(QStringLiteral("Save"), this, QStringLiteral("Save the selected folder"));
    saveButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    auto* folderButton = plainButton(QStringLiteral("Output Folder..."), this,
                                     QStringLiteral("Choose the folder Save writes into"));
    folderButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    connect(folderButton, &QPushButton::clicked, this, [this] { chooseOutputFolder(); });
    buttonRow()->addWidget(folderButton);
    buttonRow()->addWidget(saveButton);

    connect(relay.get(), &ProgressRelay::rangeChanged, progress, [this](qint64 lo, qint64 hi) {
        progress->setRange(static_cast<int>(std::min<qint64>(lo, INT_MAX)), static_cast<int>(std::min<qint64>(hi, INT_MAX)));
    });
    connect(relay.get(), &ProgressRelay::positionChanged, progress,
            [this](qint64 at) { progress->setValue(static_cast<int>(std::min<qint64>(at, INT_MAX))); });
    connect(relay.get(), &ProgressRelay::statusChanged, status, &QLabel::setText);
    connect(pauseButton, &QPushButton::clicked, this, [this] { if (run) run->pause(); });
    connect(resumeButton, &QPushButton::clicked, this, [this] { if (run) run->resume(); });
    connect(stopButton, &QPushButton::clicked, this, [this] { if (run) run->stop(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(searchButton, &QPushButton::clicked, this, [this] { search(); });
    connect(tree, &CXHtmlTree::labelClicked, this, [this](TreeItem item) { labelClicked(item); });
    connect(tree, &CXHtmlTree::expanding, this, [this](TreeItem item) { expanding(item); });
    connect(tree, &CXHtmlTree::itemDoubleClicked, this, [this](TreeItem item) { doubleClicked(item); });

    volumeData->setText(qs(record.rootPath.empty() ? record.volumeId : record.rootPath));
}

void VolumeScanDlg::startScan() {
    backButton()->setEnabled(false);
    AppState& state = app().state;
    if (state.selectedIsVolume) {
        // A volume picked on the first page is read through its own device.
        app().freshReader().open(record.volumeId);
        record.startSector = 0;
    }
    if (!state.sharedReader) {
        app().inform(QStringLiteral("Please Restart the program to re begin necessary initialization..."));
        backButton()->setEnabled(true);
        return;
    }
    device = state.sharedReader;
    ReaderContext context{*device, record, state, *relay, app().messages(), {}};
    run = std::make_unique<ScanRun>(context);
    run->setTree(&tree->model());
    // The tail fills the tree where the tree lives, and the worker waits for it.
    run->onTreeThread = [this](const std::function<void()>& job) {
        if (onUiThread()) job();
        else QMetaObject::invokeMethod(this, job, Qt::BlockingQueuedConnection);
    };
    run->onWorkerEnd = [this] { QMetaObject::invokeMethod(this, [this] { workerEnded(); }, Qt::QueuedConnection); };
    // The save's per-file line ("File size: ... kb"), told from the worker.
    run->onFileLabel = [this](std::string_view text) {
        const QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        QMetaObject::invokeMethod(this, [this, line] { fileLabel->setText(line); }, Qt::QueuedConnection);
    };
    scanning = true;
    workerStarted(false);
    if (!run->start(scanModeOf(mode))) {
        // Nothing runs: the user can only go back.
        scanning = false;
        backButton()->setEnabled(true);
    }
}

void VolumeScanDlg::workerStarted(bool dimTree) {
    backButton()->setEnabled(false);
    progress->show();
    pauseButton->show();
    resumeButton->show();
    stopButton->show();
    if (dimTree) tree->setDimmed(true);
}

void VolumeScanDlg::workerEnded() {
    if (run && run->workerRunning()) return;  // a newer worker has started meanwhile
    const bool scanEnded = scanning;
    scanning = false;
    searching = false;
    tree->setDimmed(false);
    backButton()->setEnabled(true);
    fileLabel->clear();
    // A volume of the wrong kind leaves the scan's controls as they were.
    const bool hideControls = !scanEnded || !run || run->outcome() != ScanOutcome::wrongKind;
    if (hideControls) {
        progress->hide();
        pauseButton->hide();
        resumeButton->hide();
        stopButton->hide();
    }
    if (scanEnded && run && run->outcome() == ScanOutcome::unsupported)
        status->setText(QStringLiteral("This recovery mode is not available for this file system. Go back."));
    emit workerFinished();
}

void VolumeScanDlg::labelClicked(TreeItem item) {
    if (!run || !run->reader() || scanning) return;  // the reader is still being built
    auto lock = run->tryUseReader();
    if (!lock.owns_lock()) return;
    fillFileList(tree->model(), files, *run->reader(), item);
}

void VolumeScanDlg::expanding(TreeItem item) {
    if (!run || !run->reader() || scanning) return;  // the reader is still being built
    auto lock = run->tryUseReader();
    if (!lock.owns_lock()) return;
    populateChildren(tree->model(), *run->reader(), item, FillPath::expand);
}

void VolumeScanDlg::doubleClicked(TreeItem item) {
    if (!run || !run->reader() || scanning) return;  // the reader is still being built
    const auto entry = tree->model().data(item);
    if (!entry) return;
    bool folder = false;
    {
        auto lock = run->tryUseReader();
        if (!lock.owns_lock()) return;
        folder = run->reader()->describe(*entry).isFolder;
        if (folder) listFolderNames(tree->model(), files, *run->reader(), item);
    }
    if (!folder) saveFile(item);
}

std::string VolumeScanDlg::entryPath(TreeItem item) const {
    const CheckTree& model = tree->model();
    std::vector<const std::string*> names;
    for (TreeItem at = item; at != kNoItem; at = model.parent(at)) names.push_back(&model.text(at));
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path = path.empty() ? **it : joinEntryPath(path, **it);
    return path;
}

bool VolumeScanDlg::chooseOutputFolder() {
    // A cancelled browser empties the choice, so Save asks again.
    outputFolder = QFileDialog::getExistingDirectory(this, QStringLiteral("Please choose a folder."), outputFolder);
    // A folder on the disk being recovered is refused at once, before any work.
    if (run && !outputFolder.isEmpty()) {
        if (const auto refusal = run->outputRefusal(ss(outputFolder))) {
            app().inform(QString::fromStdString(*refusal));
            outputFolder.clear();
        }
    }
    saveButton->setToolTip(outputFolder.isEmpty() ? QStringLiteral("Save the selected folder")
                                                  : QStringLiteral("Save the selected folder into %1").arg(outputFolder));
    return !outputFolder.isEmpty();
}

void VolumeScanDlg::save() {
    if (!run || !run->reader()) return;
    if (run->workerRunning()) {
        app().inform(QStringLiteral("Please wait for other process to complete"));
        return;
    }
    if (outputFolder.isEmpty() && !chooseOutputFolder()) {
        app().inform(QStringLiteral("select output folder"));
        return;
    }
    const TreeItem item = tree->model().selected();
    const auto entry = tree->model().data(item);
    if (!entry || !run->reader()->isSaveFolder(*entry)) return;
    workerStarted(false);
    if (!run->startSave(*entry, entryPath(item), ss(outputFolder), reportSave())) workerEnded();
}

void VolumeScanDlg::saveFile(TreeItem item) {
    if (!run || !run->reader()) return;
    const auto entry = tree->model().data(item);
    if (!entry) return;
    if (run->workerRunning()) {
        app().inform(QStringLiteral("Please wait for other process to complete"));
        return;
    }
    if (outputFolder.isEmpty() && !chooseOutputFolder()) return;
    workerStarted(false);
    if (!run->startSaveFile(*entry, entryPath(item), ss(outputFolder), reportSave())) workerEnded();
}

std::function<void(const SaveReport&)> VolumeScanDlg::reportSave() {
    // Failures, damage and renames are never silent: after the save's own
    // message, a summary of them (the worker hands it to the UI thread).
    return [this](const SaveReport& report) {
        const std::string summary = saveSummary(report);
        if (summary.empty()) return;
        QMetaObject::invokeMethod(this, [this, text = QString::fromStdString(summary)] { app().inform(text); },
                                  Qt::QueuedConnection);
    };
}

void VolumeScanDlg::search() {
    if (!run || !run->reader()) return;
    if (run->workerRunning()) {
        app().inform(QStringLiteral("Please wait for other process to complete"));
        return;
    }
    files.list.clear();
    files.showsSearchResults = true;
    searching = true;
    workerStarted(true);
    const bool started = run->startSearch(
        ss(searchEdit->text()),
        [this](const SearchHit& hit) {
            // Rows belong to the UI thread; each hit is queued there.
            const auto texts = rowTexts(hit.item, hit.path);
            CheckListRow row{{texts.begin(), texts.end()}, hit.entry, true, false};
            QMetaObject::invokeMethod(this, [this, row] { files.list.addRow(row); }, Qt::QueuedConnection);
        });
    if (!started) workerEnded();
}

void VolumeScanDlg::goBack() {
    // Back is disabled while any worker runs: the worker uses this page's reader.
    if (workerRunning()) return;
    WizardPage::goBack();
}

}  // namespace vantor::gui
