#include "Physical_DriveDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <unistd.h>

#include "CVantorApp.h"
#include "DriveParsingModes.h"
#include "VolumeOperations.h"
#include "qt_seams.h"

namespace vantor::gui {

namespace {

constexpr int kDevicePathRole = Qt::UserRole;   // drive or image: the path the scan mode page opens
constexpr int kVolumeIndexRole = Qt::UserRole + 1;

QString trimmedStart(QString text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    return text.mid(i);
}

}  // namespace

Physical_DriveDialog::Physical_DriveDialog() : Physical_DriveDialog(enumerateDrives(), enumerateVolumes()) {}

Physical_DriveDialog::Physical_DriveDialog(std::vector<PhysicalDrive> driveList, std::vector<VolumeRecord> volumeList)
    : WizardPage(nullptr, kDrivePage, QStringLiteral("Select volume or drive")),
      volumeRecords(std::move(volumeList)) {
    build(driveList);
}

Physical_DriveDialog::~Physical_DriveDialog() {
    // The shared reader belongs to the selection this page started.
    app().state.sharedReader.reset();
}

void Physical_DriveDialog::build(const std::vector<PhysicalDrive>& driveList) {
    auto* group = new QGroupBox(QStringLiteral("Currently system contains:"), this);
    auto* layout = new QVBoxLayout(group);
    driveTree = new QTreeWidget(group);
    driveTree->setHeaderHidden(true);
    driveTree->setColumnCount(1);
    layout->addWidget(driveTree);
    body()->addWidget(group, 1);

    const QIcon driveIcon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    volumes = new QTreeWidgetItem(driveTree, {QStringLiteral("     VOLUMES:")});
    drives = new QTreeWidgetItem(driveTree, {QStringLiteral("     PHYSICAL DRIVES:")});
    images = new QTreeWidgetItem(driveTree, {QStringLiteral("     DISK IMAGES:")});
    for (const PhysicalDrive& d : driveList) {
        auto* item = new QTreeWidgetItem(drives, {qs(d.label)});
        item->setIcon(0, driveIcon);
        item->setData(0, kDevicePathRole, qs(d.devicePath));
        item->setToolTip(0, qs(d.devicePath));
    }
    // The volumes are listed from the last record to the first.
    for (std::size_t i = volumeRecords.size(); i-- > 0;) {
        const VolumeRecord& v = volumeRecords[i];
        auto* item = new QTreeWidgetItem(volumes, {qs(v.rootPath.empty() ? v.volumeId : v.rootPath)});
        item->setIcon(0, driveIcon);
        item->setData(0, kVolumeIndexRole, static_cast<qulonglong>(i));
        item->setToolTip(0, qs(v.volumeId));
    }
    driveTree->expandAll();

    auto* hint = new QLabel(QStringLiteral("Select volume or drive to continue the recovery process "), this);
    body()->addWidget(hint);

    // Reading block devices needs the rights to open them; images never do.
    bool anyReadable = driveList.empty();
    for (const PhysicalDrive& d : driveList)
        if (::access(d.devicePath.c_str(), R_OK) == 0) anyReadable = true;
    auto* row = new QHBoxLayout();
    auto* openImageButton = plainButton(QStringLiteral("Open disk image..."), this,
                                        QStringLiteral("Recover from a disk image file (raw .img, .dd, .bin)"));
    openImageButton->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    connect(openImageButton, &QPushButton::clicked, this, [this] { pickImage(); });
    row->addWidget(openImageButton);
    rightsNote = new QLabel(this);
    rightsNote->setWordWrap(true);
    row->addWidget(rightsNote, 1);
    if (!anyReadable) {
        rightsNote->setText(QStringLiteral("Reading the drives needs administrator rights; disk images can "
                                           "still be opened."));
        auto* restart = plainButton(QStringLiteral("Restart as administrator"), this,
                                    QStringLiteral("Start again through pkexec to read the drives"));
        connect(restart, &QPushButton::clicked, this, [this] { restartWithRights(); });
        row->addWidget(restart);
    }
    body()->addLayout(row);
}

QString Physical_DriveDialog::selectedDevicePath() const {
    const QTreeWidgetItem* item = driveTree->currentItem();
    if (!item || !item->parent() || item->parent() == volumes) return {};
    return item->data(0, kDevicePathRole).toString();
}

std::optional<VolumeRecord> Physical_DriveDialog::chosenVolume() const {
    const QTreeWidgetItem* item = driveTree->currentItem();
    if (!item || item->parent() != volumes) return std::nullopt;
    const auto index = item->data(0, kVolumeIndexRole).toULongLong();
    if (index >= volumeRecords.size()) return std::nullopt;
    return volumeRecords[index];
}

void Physical_DriveDialog::openImage(const QString& path) {
    if (path.isEmpty()) return;
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < images->childCount(); ++i)
        if (images->child(i)->data(0, kDevicePathRole).toString() == path) item = images->child(i);
    if (!item) {
        item = new QTreeWidgetItem(images, {QFileInfo(path).fileName()});
        item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
        item->setData(0, kDevicePathRole, path);
        item->setToolTip(0, path);
    }
    images->setExpanded(true);
    driveTree->setCurrentItem(item);
    goNext();
}

void Physical_DriveDialog::pickImage() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open disk image"), QString(),
                                                      QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso);;"
                                                                     "All files (*)"));
    openImage(path);
}

void Physical_DriveDialog::restartWithRights() {
    // pkexec clears the environment; the display has to be passed on by hand.
    const auto env = QProcessEnvironment::systemEnvironment();
    QStringList args{QStringLiteral("env")};
    for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
        if (env.contains(name)) args << QStringLiteral("%1=%2").arg(name, env.value(name));
    args << QCoreApplication::applicationFilePath();
    if (QProcess::startDetached(QStringLiteral("pkexec"), args)) app().endProcess();
    else app().inform(QStringLiteral("pkexec could not be started."));
}

void Physical_DriveDialog::goNext() {
    const QTreeWidgetItem* item = driveTree->currentItem();
    const QString group = item && item->parent() ? trimmedStart(item->parent()->text(0)) : QString();
    app().freshReader();
    app().sourcePageId = kDrivePage;
    if (group == QLatin1String("VOLUMES:")) {
        app().state.selectedIsVolume = true;
        handOver(new VolumeOperations(this));
    } else if (group == QLatin1String("PHYSICAL DRIVES:") || group == QLatin1String("DISK IMAGES:")) {
        app().state.selectedIsVolume = false;
        handOver(new DriveParsingModes(this, selectedDevicePath()));
    } else {
        app().inform(QStringLiteral("Please select a volume or a drive.."));
    }
}

}  // namespace vantor::gui
