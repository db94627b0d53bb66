#include "PopulateDriveDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "CVantorApp.h"
#include "ParceModeNtfsDlg.h"
#include "PendingPages.h"
#include "qt_seams.h"

namespace vantor::gui {

namespace {

enum Column { kVolume, kFileSystem, kSize, kStart };
constexpr int kRecordRole = Qt::UserRole;

QToolButton* arrow(Qt::ArrowType type, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setArrowType(type);
    b->setAutoRepeat(true);
    return b;
}

}  // namespace

PopulateDriveDlg::PopulateDriveDlg(WizardPage* opener, ScanChoice choice)
    : WizardPage(opener, kVolumeListPage, QStringLiteral("Volume list")),
      handed(std::move(choice)),
      relay(std::make_unique<ProgressRelay>()) {
    buildWidgets();
    if (handed.scanMode == 2) {
        startSweep();
    } else {
        progress->setRange(0, 1000);
        standardScan();
        progress->setValue(1000);
    }
}

PopulateDriveDlg::~PopulateDriveDlg() {
    if (worker.joinable()) {
        if (context) {
            context->control.stopRequested.request();
            context->control.gate.release();
        }
        worker.join();
    }
}

void PopulateDriveDlg::buildWidgets() {
    auto* group = new QGroupBox(QStringLiteral("Volume List:"), this);
    auto* columns = new QHBoxLayout(group);
    list = new QTreeWidget(group);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setHeaderLabels({QStringLiteral("VOLUME"), QStringLiteral("FILE_SYSTEM"), QStringLiteral("VOLUME_SIZE"),
                           QStringLiteral("START_SECTOR")});
    list->setColumnWidth(kVolume, 80);
    list->setColumnWidth(kFileSystem, 100);
    list->setColumnWidth(kSize, 100);
    list->setColumnWidth(kStart, 120);
    list->setStyleSheet(QStringLiteral(
        // Grid lines; a style sheet on items also takes over the selected look.
        "QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }"
        "QTreeView::item:selected { background: palette(highlight); color: palette(highlighted-text); }"));
    columns->addWidget(list, 3);

    auto* side = new QGridLayout();
    filterButton = plainButton(QStringLiteral("Filter Entries"), group, QStringLiteral("Filter volume entries."));
    addButton = plainButton(QStringLiteral("Add Custom Volume"), group, QStringLiteral("Add Custom Volume entry."));
    customSettings = new QCheckBox(QStringLiteral("Custom Settings For Selected Volume "), group);
    auto* selectedLabel = new QLabel(QStringLiteral("Selected Volume :"), group);
    selectedVolume = new QLabel(group);
    auto* startLabel = new QLabel(QStringLiteral("Start Sector:"), group);
    startEdit = numberEdit(group);
    startUp = arrow(Qt::UpArrow, group);
    startDown = arrow(Qt::DownArrow, group);
    auto* endLabel = new QLabel(QStringLiteral("End Sector :"), group);
    endEdit = numberEdit(group);
    endUp = arrow(Qt::UpArrow, group);
    endDown = arrow(Qt::DownArrow, group);
    auto* treatLabel = new QLabel(QStringLiteral("Treat file system as:"), group);
    treatAs = new QComboBox(group);
    QStringList kinds{"EXTX", "FAT64", "FAT32", "FAT16", "NTFS", "HFS+", "RAW"};
    kinds.sort();  // a sorted drop-down
    treatAs->addItems(kinds);
    treatAs->setCurrentIndex(-1);

    side->addWidget(filterButton, 0, 0, 1, 4);
    side->addWidget(addButton, 1, 0, 1, 4);
    side->addWidget(customSettings, 2, 0, 1, 4);
    side->addWidget(selectedLabel, 3, 0);
    side->addWidget(selectedVolume, 3, 1, 1, 3);
    side->addWidget(startLabel, 4, 0);
    side->addWidget(startEdit, 4, 1);
    side->addWidget(startUp, 4, 2);
    side->addWidget(startDown, 4, 3);
    side->addWidget(endLabel, 5, 0);
    side->addWidget(endEdit, 5, 1);
    side->addWidget(endUp, 5, 2);
    side->addWidget(endDown, 5, 3);
    side->addWidget(treatLabel, 6, 0);
    side->addWidget(treatAs, 6, 1, 1, 3);
    side->setRowStretch(7, 1);
    columns->addLayout(side, 2);
    body()->addWidget(group, 1);

    auto* bottom = new QHBoxLayout();
    progress = new QProgressBar(this);
    progress->setRange(0, 1000);
    progress->setTextVisible(false);
    stopButton = plainButton(QStringLiteral("Stop"), this);
    bottom->addWidget(progress, 1);
    bottom->addWidget(stopButton);
    body()->addLayout(bottom);
    status = new QLabel(this);
    body()->addWidget(status);

    customWidgets = {selectedLabel, selectedVolume, startLabel, startEdit, startUp, startDown,
                     endLabel,      endEdit,        endUp,      endDown,   treatLabel, treatAs};
    for (QWidget* w : customWidgets) w->setEnabled(false);
    customSettings->setEnabled(false);
    addButton->setEnabled(false);

    connect(relay.get(), &ProgressRelay::rangeChanged, progress,
            [this](qint64 lo, qint64 hi) { progress->setRange(static_cast<int>(lo), static_cast<int>(hi)); });
    connect(relay.get(), &ProgressRelay::positionChanged, progress,
            [this](qint64 at) { progress->setValue(static_cast<int>(at)); });
    connect(relay.get(), &ProgressRelay::statusChanged, status, &QLabel::setText);
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] { rowSelected(); });
    connect(list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* row) { rowClicked(row); });
    connect(customSettings, &QCheckBox::toggled, this, [this] { customToggled(); });
    connect(filterButton, &QPushButton::clicked, this, [this] { filterEntries(); });
    connect(addButton, &QPushButton::clicked, this, [this] { addCustomVolume(); });
    connect(stopButton, &QPushButton::clicked, this, [this] { stop(); });
    connect(startUp, &QToolButton::clicked, this, [this] { stepUp(startEdit); });
    connect(startDown, &QToolButton::clicked, this, [this] { stepDown(startEdit); });
    connect(endUp, &QToolButton::clicked, this, [this] { stepUp(endEdit); });
    connect(endDown, &QToolButton::clicked, this, [this] { stepDown(endEdit); });
}

QTreeWidgetItem* PopulateDriveDlg::makeRow(std::size_t index) {
    const VolumeRecord& r = volumeRecords[index];
    auto* row = new QTreeWidgetItem({qs(r.volumeId), qs(r.fileSystem), qs(r.sizeText),
                                     QString::number(static_cast<qlonglong>(r.startSector))});
    row->setData(kVolume, kRecordRole, static_cast<qulonglong>(index));
    return row;
}

void PopulateDriveDlg::standardScan() {
    addButton->hide();
    FileReadSeek& reader = app().freshReader();
    context = std::make_unique<Partition>(reader, *relay);
    context->gptFormat = handed.gptFormat;
    if (!reader.open(ss(handed.devicePath))) {
        app().inform(QStringLiteral("file not opened.."));
    } else {
        app().deviceTotalSectors = reader.deviceTotalSectors();
        context->scanPartitionTables();
        showRecords(context->volumes);
    }
    context.reset();
    filterButton->setEnabled(true);
    status->setText(QStringLiteral("Finished Scanning."));
    progress->hide();
    stopButton->hide();
    status->setText(QStringLiteral("Select volume and click next button..."));
}

void PopulateDriveDlg::showRecords(std::vector<VolumeRecord> records) {
    list->clear();
    volumeRecords = std::move(records);
    asFound.clear();
    for (std::size_t i = 0; i < volumeRecords.size(); ++i) {
        volumeRecords[i].volumeId = std::to_string(i);
        list->addTopLevelItem(makeRow(i));
    }
    if (!volumeRecords.empty()) customSettings->setEnabled(true);
}

void PopulateDriveDlg::startSweep() {
    addButton->setEnabled(false);
    nextButton()->setEnabled(false);
    FileReadSeek& reader = app().freshReader();
    device = app().state.sharedReader;
    context = std::make_unique<Partition>(reader, *relay);
    context->skipVolumeSize = !handed.noSkip;
    context->gptFormat = handed.gptFormat;
    if (handed.customEndSector >= 0) {
        context->customStartSector = handed.customStartSector;
        context->customEndSector = handed.customEndSector;
    }
    if (!reader.open(ss(handed.devicePath))) {
        nextButton()->setEnabled(true);
        app().inform(QStringLiteral("file not opened.."));
        context.reset();
        sweepDone = true;
        return;
    }
    app().deviceTotalSectors = reader.deviceTotalSectors();
    list->clear();
    volumeRecords.clear();
    asFound.clear();
    backButton()->setEnabled(false);
    // Each found volume is listed as it is found (newest at the top); the list
    // and the record vector belong to the UI thread, so the row is queued.
    context->onFound = [this](const VolumeRecord& record) {
        QMetaObject::invokeMethod(this, [this, record] { addFoundRecord(record); }, Qt::QueuedConnection);
    };
    Partition* sweep = context.get();
    worker = std::thread([this, sweep] {
        sweep->sweepForVolumes();
        QMetaObject::invokeMethod(this, [this] { sweepEnded(); }, Qt::QueuedConnection);
    });
}

void PopulateDriveDlg::addFoundRecord(const VolumeRecord& record) {
    volumeRecords.push_back(record);
    list->insertTopLevelItem(0, makeRow(volumeRecords.size() - 1));
}

void PopulateDriveDlg::sweepEnded() {
    if (worker.joinable()) worker.join();
    sweepDone = true;
    backButton()->setEnabled(true);
    status->setText(QStringLiteral("Scanned Partitions"));
    app().inform(QStringLiteral("populated partitions...."));
    status->setText(QStringLiteral("Finished Scanning."));
    context.reset();
    if (!volumeRecords.empty()) customSettings->setEnabled(true);
    addButton->setEnabled(true);
    nextButton()->setEnabled(true);
    progress->hide();
    stopButton->hide();
    status->setText(QStringLiteral("Select volume and click next button..."));
    emit sweepFinished();
}

void PopulateDriveDlg::stop() {
    if (context) context->control.stopRequested.request();
    backButton()->setEnabled(true);
}

void PopulateDriveDlg::rowSelected() {
    const QList<QTreeWidgetItem*> rows = list->selectedItems();
    if (rows.isEmpty()) return;
    const QTreeWidgetItem* row = rows.front();
    selectedVolume->setText(row->text(kVolume));
    startEdit->setText(row->text(kStart));
    const auto index = row->data(kVolume, kRecordRole).toULongLong();
    const std::int64_t start = index < volumeRecords.size() ? volumeRecords[index].startSector : 0;
    const std::int64_t span = index < volumeRecords.size() ? static_cast<std::int64_t>(volumeRecords[index].sizeBytes / 512) : 0;
    endEdit->setText(QString::number(span > 0 ? static_cast<qlonglong>(start + span - 1) : 0));
}

void PopulateDriveDlg::rowClicked(QTreeWidgetItem* row) {
    if (!row) return;
    const int match = treatAs->findText(row->text(kFileSystem), Qt::MatchStartsWith);
    if (match >= 0) treatAs->setCurrentIndex(match);
}

void PopulateDriveDlg::customToggled() {
    const bool on = customSettings->isChecked();
    for (QWidget* w : customWidgets) w->setEnabled(on);
}

void PopulateDriveDlg::stepUp(QLineEdit* edit) {
    edit->setText(QString::number(static_cast<qlonglong>(leadingNumber(ss(edit->text())) + 1)));
}

void PopulateDriveDlg::stepDown(QLineEdit* edit) {
    const std::int64_t value = leadingNumber(ss(edit->text()));
    if (value > 0) edit->setText(QString::number(static_cast<qlonglong>(value - 1)));
}

void PopulateDriveDlg::addCustomVolume() {
    VolumeRecord r;
    r.fileSystem = "CUSTOM ";
    r.volumeId = std::to_string(volumeRecords.size());
    r.sizeText = "0";
    r.startSector = 0;
    volumeRecords.push_back(r);
    customSettings->setEnabled(true);
    customSettings->setChecked(true);
    customToggled();
    QTreeWidgetItem* row = makeRow(volumeRecords.size() - 1);
    if (handed.scanMode == 2) list->insertTopLevelItem(0, row);
    else list->addTopLevelItem(row);
    list->setCurrentItem(row);
    startEdit->setText(QStringLiteral("0"));
    endEdit->setText(QStringLiteral("0"));
}

void PopulateDriveDlg::filterEntries() {
    list->clear();
    if (volumeRecords.size() <= 1) return;
    // Keeps the volumes that start right after the one before them; the
    // record list itself stays as it is.
    for (std::size_t i = 1; i < volumeRecords.size(); ++i) {
        if (volumeRecords[i].startSector != volumeRecords[i - 1].startSector + 1) continue;
        volumeRecords[i].volumeId = std::to_string(i);
        list->insertTopLevelItem(0, makeRow(i));
    }
}

std::optional<VolumeRecord> PopulateDriveDlg::chosenVolume() const {
    if (!chosen || *chosen >= volumeRecords.size()) return std::nullopt;
    return volumeRecords[*chosen];
}

void PopulateDriveDlg::goNext() {
    const QList<QTreeWidgetItem*> rows = list->selectedItems();
    if (rows.isEmpty()) {
        app().inform(QStringLiteral("please select a valid volume."));
        return;
    }
    QTreeWidgetItem* row = rows.front();
    const auto index = row->data(kVolume, kRecordRole).toULongLong();
    if (index >= volumeRecords.size()) return;
    VolumeRecord& r = volumeRecords[index];
    chosen = index;
    const bool ticked = customSettings->isChecked();
    if (!ticked && customApplied) {
        // An earlier Next changed the record: take back what was found.
        if (const auto found = asFound.find(index); found != asFound.end()) r = found->second;
    }
    const QString kind = treatAs->currentIndex() >= 0 ? treatAs->currentText() : QString();
    if (ticked) {
        customApplied = true;
        asFound.try_emplace(index, r);
        const std::int64_t start = leadingNumber(ss(startEdit->text()));
        const std::int64_t end = leadingNumber(ss(endEdit->text()));
        const bool sized = static_cast<std::uint64_t>(end) > static_cast<std::uint64_t>(start);
        r.startSector = start;
        r.sizeText = sized ? std::to_string((end - start + 1) / 2048) : "0";
        // An end at or before the start: the volume runs to the end of the source.
        r.sizeBytes = sized ? static_cast<std::uint64_t>(end - start + 1) * 512 : 0;
        static const char* const kSpellings[] = {"ntfs", "fat16", "fat32", "fat64", "extX", "HFS+"};
        for (const char* spelling : kSpellings)
            if (kind.compare(QLatin1String(spelling), Qt::CaseInsensitive) == 0) r.fileSystem = spelling;
    }
    if (ticked && kind == QLatin1String("RAW")) {
        customApplied = true;
        r.fileSystem = "RAW";
        handOver(new RawRecoveryDialog(this));
    } else if (equalsIgnoreCase(r.fileSystem, "unknown")) {
        app().inform(QStringLiteral("can not parse unknown volume"));
    } else {
        handOver(new ParceModeNtfsDlg(this));
    }
}

void PopulateDriveDlg::goBack() {
    // Back is disabled while the sweep runs; after Stop it may still be
    // finishing its block, and the page's destructor waits for it.
    if (context) context->control.stopRequested.request();
    WizardPage::goBack();
}

}  // namespace vantor::gui
