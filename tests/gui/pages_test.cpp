// The wizard's pages before the scan: the chain forward and back, the keys,
// the close confirmation, and the choices of the scan mode, volume list and
// recovery mode pages.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <atomic>
#include <fstream>
#include <thread>

#include "PendingPages.h"
#include "VolumeOperations.h"
#include "gui_support.h"
#include "support/support.h"

using namespace vantor;
using namespace vantor::gui;
using namespace vantor::gui::test;

namespace {

// Stands in for whichever page chose a volume.
class FixedVolumePage final : public WizardPage {
public:
    explicit FixedVolumePage(VolumeRecord r) : WizardPage(nullptr, kVolumeListPage, "test"), record(std::move(r)) {}
    std::optional<VolumeRecord> chosenVolume() const override { return record; }

private:
    VolumeRecord record;
};

VolumeRecord volume(std::string fs, std::int64_t start = 2048, std::string size = "8   MB") {
    VolumeRecord r;
    r.fileSystem = std::move(fs);
    r.startSector = start;
    r.sizeText = std::move(size);
    return r;
}

std::filesystem::path sampleDisk() { return vantor::test::fixtureImage("sample-disk.img"); }

}  // namespace

class PagesTest : public QObject {
    Q_OBJECT

private slots:
    void init() { testApp().messages.clear(); }

    void secondCopyFindsTheLockTaken() {
        vantor::test::ScratchDir dir;
        const std::string lock = (dir.path() / "gui.lock").string();
        {
            SingleInstance first(lock);
            QVERIFY(!first.alreadyRunning());
            SingleInstance second(lock);
            QVERIFY(second.alreadyRunning());
        }
        SingleInstance afterFirstEnded(lock);
        QVERIFY(!afterFirstEnded.alreadyRunning());
    }

    void boxesFromAWorkerShowOnTheUiThread() {
        BoxMessages boxes;
        struct Seen { QString title, text; QMessageBox::Icon icon = QMessageBox::NoIcon; };
        std::vector<Seen> seen;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen.push_back({box->windowTitle(), box->text(), box->icon()});
            QAbstractButton* button = box->button(QMessageBox::Yes);
            if (!button) button = box->button(QMessageBox::Ok);
            button->click();
        });
        poll.start();
        std::atomic<int> answer{-1};
        std::thread worker([&] {
            boxes.inform("populated partitions....");
            answer = boxes.ask("Do you want to Close Application ?") ? 1 : 0;
        });
        const bool answered = QTest::qWaitFor([&] { return answer.load() != -1; }, 20000);
        worker.join();
        QVERIFY(answered);
        QCOMPARE(answer.load(), 1);
        QCOMPARE(seen.size(), std::size_t{2});
        QCOMPARE(seen[0].title, CVantorApp::title());
        QCOMPARE(seen[0].text, QString("populated partitions...."));
        QCOMPARE(seen[0].icon, QMessageBox::Information);
        QCOMPARE(seen[1].icon, QMessageBox::Question);
    }

    void drivePageListsVolumesLastFirstAndNeedsASelection() {
        std::vector<VolumeRecord> volumes;
        for (const char* root : {"/media/c", "/media/d", "/media/e"}) {
            VolumeRecord v = volume("FAT32", 0, "100  MB");
            v.rootPath = root;
            v.volumeId = std::string("/dev/") + root[7];
            volumes.push_back(v);
        }
        Physical_DriveDialog page({}, volumes);
        QCOMPARE(page.volumesNode()->text(0), QString("     VOLUMES:"));
        QCOMPARE(page.drivesNode()->text(0), QString("     PHYSICAL DRIVES:"));
        QCOMPARE(page.volumesNode()->childCount(), 3);
        QCOMPARE(page.volumesNode()->child(0)->text(0), QString("/media/e"));
        QCOMPARE(page.volumesNode()->child(2)->text(0), QString("/media/c"));

        for (QTreeWidgetItem* notAChoice : {page.drivesNode(), page.volumesNode()}) {
            testApp().messages.clear();
            page.tree()->setCurrentItem(notAChoice);
            page.goNext();
            QVERIFY(page.nextPage() == nullptr);
            QCOMPARE(testApp().messages.last(), std::string("Please select a volume or a drive.."));
        }

        page.tree()->setCurrentItem(page.volumesNode()->child(1));
        page.goNext();
        auto* info = qobject_cast<VolumeOperations*>(page.nextPage());
        QVERIFY(info);
        QVERIFY(app().state.selectedIsVolume);
        QCOMPARE(info->nameText->text(), QString("/media/d"));
        QCOMPARE(info->fileSystemText->text(), QString("FAT32"));
        QCOMPARE(info->sizeText->text(), QString("100  MB"));
        info->goNext();
        auto* mode = qobject_cast<ParceModeNtfsDlg*>(info->nextPage());
        QVERIFY(mode);
        QCOMPARE(mode->chosenVolume()->fileSystem, std::string("FAT32"));
    }

    void chainGoesForwardAndBackRebuildingTheVolumeList() {
        auto first = drivePageFor(sampleDisk());
        first->show();
        first->tree()->setCurrentItem(first->drivesNode()->child(0));
        first->goNext();
        auto* modes = qobject_cast<DriveParsingModes*>(first->nextPage());
        QVERIFY(modes);
        QVERIFY(!app().state.selectedIsVolume);
        QVERIFY(modes->isVisible());
        QVERIFY(!first->isVisible());
        QCOMPARE(modes->pathLabel->text(), QString::fromStdString(sampleDisk().string()));

        modes->gptFormat->setChecked(true);
        modes->goNext();
        QPointer<PopulateDriveDlg> volumes = qobject_cast<PopulateDriveDlg*>(modes->nextPage());
        QVERIFY(volumes);
        QVERIFY(volumes->isVisible());
        QVERIFY(!modes->isVisible());
        QVERIFY(volumes->scanChoice().gptFormat);

        volumes->goBack();
        settle();
        QVERIFY(volumes.isNull());
        QVERIFY(modes->isVisible());
        QVERIFY(modes->gptFormat->isChecked());  // the earlier choices stay

        modes->gptFormat->setChecked(false);
        modes->goNext();
        QPointer<PopulateDriveDlg> again = qobject_cast<PopulateDriveDlg*>(modes->nextPage());
        QVERIFY(again);
        QCOMPARE(again->list->topLevelItemCount(), 2);  // a new page ran a new scan
        again->goBack();
        modes->goBack();
        settle();
        QVERIFY(first->isVisible());
    }

    void openImageGoesOnLikeADrive() {
        Physical_DriveDialog first({}, {});
        first.show();
        const QString path = QString::fromStdString(sampleDisk().string());
        first.openImage(path);
        QCOMPARE(first.imagesNode()->childCount(), 1);
        QCOMPARE(first.imagesNode()->child(0)->text(0), QString("sample-disk.img"));
        auto* modes = qobject_cast<DriveParsingModes*>(first.nextPage());
        QVERIFY(modes);
        QCOMPARE(modes->pathLabel->text(), path);
        QVERIFY(!app().state.selectedIsVolume);
        QVERIFY(app().reader() && app().reader()->isOpen());
        modes->goBack();
        settle();
        first.openImage(path);  // the same image again: listed once
        QCOMPARE(first.imagesNode()->childCount(), 1);
        QVERIFY(first.nextPage());
    }

    void enterAndEscapeDoNothing() {
        auto first = drivePageFor(sampleDisk());
        first->show();
        first->tree()->setCurrentItem(first->drivesNode()->child(0));
        first->goNext();
        auto* modes = qobject_cast<DriveParsingModes*>(first->nextPage());
        QVERIFY(modes);
        modes->goNext();
        auto* volumes = qobject_cast<PopulateDriveDlg*>(modes->nextPage());
        QVERIFY(volumes);
        volumes->list->setCurrentItem(volumes->list->topLevelItem(0));
        for (WizardPage* page : std::initializer_list<WizardPage*>{modes, volumes}) {
            WizardPage* before = page->nextPage();
            page->show();
            for (QWidget* target : {static_cast<QWidget*>(page), static_cast<QWidget*>(page->nextButton())}) {
                target->setFocus();
                for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
                    QTest::keyClick(target, key);
                    settle();
                    QVERIFY(page->isVisible());
                    QCOMPARE(page->nextPage(), before);
                }
            }
            page->hide();
        }
        QCOMPARE(testApp().endRequests, 0);
        QVERIFY(testApp().messages.texts().empty());
    }

    void closeAsksBeforeEndingTheProcess() {
        auto first = drivePageFor(sampleDisk());
        first->show();
        const int ends = testApp().endRequests;
        testApp().messages.answers = {false};
        first->close();
        settle();
        QCOMPARE(testApp().messages.last(), std::string("Do you want to Close Application ?"));
        QVERIFY(first->isVisible());
        QCOMPARE(testApp().endRequests, ends);
        testApp().messages.answers = {true};
        first->close();
        QCOMPARE(testApp().endRequests, ends + 1);
    }

    void helpOpensTheManual() {
        auto first = drivePageFor(sampleDisk());
        QMenu* menu = first->helpButton()->menu();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QString("Help"));
        QCOMPARE(menu->actions()[1]->text(), QString("About"));
        menu->actions()[0]->trigger();
        QVERIFY2(testApp().openedUrl.endsWith("docs/manual.md"), qPrintable(testApp().openedUrl));

        // About: a modal box with the application title and an OK button.
        QString title, body;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box) return;
            title = box->windowTitle();
            for (QLabel* label : box->findChildren<QLabel*>()) body += label->text() + "\n";
            box->accept();
        });
        menu->actions()[1]->trigger();
        QCOMPARE(title, CVantorApp::title());
        QVERIFY(body.startsWith(CVantorApp::title()));
    }

    void scanModeChoicesReachTheVolumeList() {
        Physical_DriveDialog first({}, {});
        DriveParsingModes page(&first, QString::fromStdString(sampleDisk().string()));
        QVERIFY(page.standardScan->isChecked());
        QCOMPARE(page.startEdit->text(), QString("0"));
        QCOMPARE(page.endEdit->text(), QString("0"));
        QVERIFY(!page.startEdit->isEnabled());
        QVERIFY(!page.endEdit->isEnabled());
        QVERIFY(!page.noSkip->isEnabled());
        QCOMPARE(page.choice().scanMode, 1);

        page.advanceScan->click();
        QVERIFY(page.noSkip->isEnabled());
        page.customSetting->setChecked(true);
        QVERIFY(page.startEdit->isEnabled());
        page.startEdit->setText("100");
        page.endEdit->setText("50");
        page.noSkip->setChecked(true);
        page.gptFormat->setChecked(true);  // allowed, read only by the standard scan
        ScanChoice c = page.choice();
        QCOMPARE(c.scanMode, 2);
        QCOMPARE(c.customStartSector, std::int64_t{100});
        QCOMPARE(c.customEndSector, std::int64_t{50});
        QVERIFY(c.noSkip);
        QVERIFY(c.gptFormat);

        page.standardScan->click();
        QVERIFY(!page.customSetting->isChecked());
        QVERIFY(!page.startEdit->isEnabled());
        QVERIFY(page.noSkip->isChecked());  // disabled, but its tick stays
        c = page.choice();
        QCOMPARE(c.scanMode, 1);
        QCOMPARE(c.customStartSector, std::int64_t{0});
        QCOMPARE(c.customEndSector, std::int64_t{0});

        // A range whose end lies before its start sweeps nothing.
        page.advanceScan->click();
        page.customSetting->setChecked(true);
        page.startEdit->setText("100");
        page.endEdit->setText("50");
        ScanChoice sweep = page.choice();
        sweep.devicePath = QString::fromStdString(vantor::test::fixtureImage("parts-mbr.img").string());
        PopulateDriveDlg volumes(&page, sweep);
        QSignalSpy done(&volumes, &PopulateDriveDlg::sweepFinished);
        QVERIFY(done.wait(30000));
        QCOMPARE(volumes.list->topLevelItemCount(), 0);
    }

    void standardScanListsTheTablesInOrder() {
        const auto manifest = vantor::test::readJsonFile(vantor::test::fixtureSource("parts-mbr.manifest.json"));
        FixedVolumePage opener(volume("x"));
        ScanChoice c;
        c.devicePath = QString::fromStdString(vantor::test::fixtureImage("parts-mbr.img").string());
        PopulateDriveDlg page(&opener, c);
        const auto& expected = manifest["volumes"];
        QCOMPARE(page.list->topLevelItemCount(), static_cast<int>(expected.size()));
        for (int i = 0; i < page.list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = page.list->topLevelItem(i);
            QCOMPARE(row->text(0), QString::number(i));
            QCOMPARE(row->text(1), QString::fromStdString(expected[i]["fileSystem"]));
            QCOMPARE(row->text(2), QString::fromStdString(expected[i]["sizeText"]));
            QCOMPARE(row->text(3), QString::number(expected[i]["startSector"].get<qlonglong>()));
        }
        QCOMPARE(page.status->text(), QString("Select volume and click next button..."));
        QVERIFY(page.customSettings->isEnabled());
        QVERIFY(page.addButton->isHidden());
    }

    void sweepRunsOnAWorkerAndListsNewestFirst() {
        const auto manifest = vantor::test::readJsonFile(vantor::test::fixtureSource("parts-mbr.manifest.json"));
        FixedVolumePage opener(volume("x"));
        ScanChoice c;
        c.devicePath = QString::fromStdString(vantor::test::fixtureImage("parts-mbr.img").string());
        c.scanMode = 2;
        PopulateDriveDlg page(&opener, c);
        QSignalSpy done(&page, &PopulateDriveDlg::sweepFinished);
        if (page.sweepRunning()) {
            QVERIFY(!page.backButton()->isEnabled());
            QVERIFY(!page.nextButton()->isEnabled());
        }
        QVERIFY(done.count() > 0 || done.wait(60000));
        QVERIFY(page.backButton()->isEnabled());
        QVERIFY(page.nextButton()->isEnabled());
        QVERIFY(page.addButton->isEnabled());
        const auto& expected = manifest["sweepVolumes"];
        QCOMPARE(page.list->topLevelItemCount(), static_cast<int>(expected.size()));
        for (int i = 0; i < page.list->topLevelItemCount(); ++i) {
            const auto& e = expected[expected.size() - 1 - i];
            QCOMPARE(page.list->topLevelItem(i)->text(1), QString::fromStdString(e["fileSystem"]));
            QCOMPARE(page.list->topLevelItem(i)->text(3), QString::number(e["startSector"].get<qlonglong>()));
        }
        const auto texts = testApp().messages.texts();
        QVERIFY(std::find(texts.begin(), texts.end(), "populated partitions....") != texts.end());
    }

    void volumeListCustomSettings() {
        struct Case {
            const char* what;
            const char* start;
            const char* end;
            const char* kind;  // empty: none chosen
            std::int64_t startSector;
            const char* sizeText;
            const char* fileSystem;
        };
        const Case cases[] = {
            {"a 1 MB NTFS volume", "2048", "4095", "NTFS", 2048, "1", "ntfs"},
            {"end before start", "200", "100", "FAT16", 200, "0", "fat16"},
            {"kind kept when none is chosen", "2048", "6143", "", 2048, "2", "extX"},
            {"ext spelling", "0", "2047", "EXTX", 0, "1", "extX"},
        };
        for (const Case& c : cases) {
            FixedVolumePage opener(volume("x"));
            ScanChoice choice;
            choice.devicePath = QString::fromStdString(sampleDisk().string());
            PopulateDriveDlg page(&opener, choice);
            QVERIFY2(page.list->topLevelItemCount() == 2, c.what);
            page.list->setCurrentItem(page.list->topLevelItem(0));
            page.customSettings->setChecked(true);
            page.startEdit->setText(c.start);
            page.endEdit->setText(c.end);
            page.treatAs->setCurrentIndex(*c.kind ? page.treatAs->findText(c.kind) : -1);
            page.goNext();
            auto* next = qobject_cast<ParceModeNtfsDlg*>(page.nextPage());
            QVERIFY2(next, c.what);
            const VolumeRecord r = *next->chosenVolume();
            QVERIFY2(r.startSector == c.startSector, c.what);
            QVERIFY2(r.sizeText == c.sizeText, c.what);
            QVERIFY2(r.fileSystem == c.fileSystem, c.what);
        }
    }

    void volumeListRowsFillTheSectorEdits() {
        FixedVolumePage opener(volume("x"));
        ScanChoice choice;
        choice.devicePath = QString::fromStdString(sampleDisk().string());
        PopulateDriveDlg page(&opener, choice);
        QCOMPARE(page.list->topLevelItemCount(), 2);
        page.list->setCurrentItem(page.list->topLevelItem(0));  // extX at 2048, "16   MB"
        QCOMPARE(page.selectedVolume->text(), QString("0"));
        QCOMPARE(page.startEdit->text(), QString("2048"));
        QCOMPARE(page.endEdit->text(), QString::number(2048 + 16 * 2048 - 1));

        // A click on the row picks its kind in the drop-down (prefix match).
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const QRect rect = page.list->visualItemRect(page.list->topLevelItem(1));
        QTest::mouseClick(page.list->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(page.treatAs->currentText(), QString("FAT32"));

        // The spin arrows: down never goes below 0.
        page.startEdit->setText("0");
        PopulateDriveDlg::stepDown(page.startEdit);
        QCOMPARE(page.startEdit->text(), QString("0"));
        PopulateDriveDlg::stepUp(page.startEdit);
        PopulateDriveDlg::stepUp(page.startEdit);
        PopulateDriveDlg::stepDown(page.startEdit);
        QCOMPARE(page.startEdit->text(), QString("1"));

        // Next without a row.
        page.list->clearSelection();
        page.goNext();
        QCOMPARE(testApp().messages.last(), std::string("please select a valid volume."));
    }

    void customVolumeFilterAndUnknownKinds() {
        vantor::test::ScratchDir dir;
        const auto blank = dir.path() / "blank.img";
        std::ofstream(blank) << std::string(1 << 20, '\0');
        FixedVolumePage opener(volume("x"));
        ScanChoice choice;
        choice.devicePath = QString::fromStdString(blank.string());
        PopulateDriveDlg page(&opener, choice);
        QCOMPARE(page.list->topLevelItemCount(), 0);

        page.addCustomVolume();
        QCOMPARE(page.list->topLevelItemCount(), 1);
        const QTreeWidgetItem* row = page.list->topLevelItem(0);
        QCOMPARE(row->text(0), QString("0"));
        QCOMPARE(row->text(1), QString("CUSTOM "));
        QCOMPARE(row->text(2), QString("0"));
        QCOMPARE(row->text(3), QString("0"));
        QVERIFY(page.customSettings->isChecked());
        page.goNext();
        auto* next = qobject_cast<ParceModeNtfsDlg*>(page.nextPage());
        QVERIFY(next);
        QCOMPARE(next->chosenVolume()->fileSystem, std::string("CUSTOM "));

        // "RAW" goes to the raw recovery page.
        page.show();
        page.treatAs->setCurrentIndex(page.treatAs->findText("RAW"));
        page.goNext();
        QVERIFY(qobject_cast<RawRecoveryDialog*>(page.nextPage()));
        page.nextPage()->goNext();
        QVERIFY(testApp().messages.last().find("not available yet") != std::string::npos);

        // The filter keeps the volumes that start right after the one before.
        FixedVolumePage opener2(volume("x"));
        PopulateDriveDlg filtered(&opener2, choice);
        filtered.showRecords({volume("FAT16", 63), volume("FAT16", 64), volume("NTFS", 2048)});
        QCOMPARE(filtered.list->topLevelItemCount(), 3);
        filtered.filterEntries();
        QCOMPARE(filtered.list->topLevelItemCount(), 1);
        QCOMPARE(filtered.list->topLevelItem(0)->text(0), QString("1"));
        QCOMPARE(filtered.list->topLevelItem(0)->text(3), QString("64"));
        filtered.showRecords({volume("FAT16", 63)});
        filtered.filterEntries();
        QCOMPARE(filtered.list->topLevelItemCount(), 0);

        // A volume of unknown kind is refused; custom settings can name a kind.
        filtered.showRecords({volume("unknown", 2048)});
        filtered.list->setCurrentItem(filtered.list->topLevelItem(0));
        filtered.goNext();
        QCOMPARE(testApp().messages.last(), std::string("can not parse unknown volume"));
        QVERIFY(filtered.nextPage() == nullptr);
        filtered.customSettings->setChecked(true);
        filtered.treatAs->setCurrentIndex(filtered.treatAs->findText("NTFS"));
        filtered.goNext();
        auto* named = qobject_cast<ParceModeNtfsDlg*>(filtered.nextPage());
        QVERIFY(named);
        QCOMPARE(named->chosenVolume()->fileSystem, std::string("ntfs"));
    }

    void recoveryModesFollowTheFileSystem() {
        struct Case { const char* fs; bool standard, advanced, deep; };
        const Case cases[] = {
            {"NTFS", true, true, true},   {"FAT32", true, true, false}, {"FAT16", true, true, false},
            {"FAT64", true, true, false}, {"extX", true, false, false}, {"HFS+", true, false, true},
        };
        for (const Case& c : cases) {
            FixedVolumePage opener(volume(c.fs));
            ParceModeNtfsDlg page(&opener);
            QVERIFY2(page.standard->isHidden() != c.standard, c.fs);
            QVERIFY2(page.advanced->isHidden() != c.advanced, c.fs);
            QVERIFY2(page.deep->isHidden() != c.deep, c.fs);
            QVERIFY2(page.standard->isChecked(), c.fs);
            QVERIFY2(page.recoveryMode() == 1, c.fs);
            QVERIFY2(page.formatted->isHidden(), c.fs);
            QVERIFY2(page.maxEdit->isHidden(), c.fs);
        }
    }

    void formattedOptionOnlyForAdvancedFat() {
        FixedVolumePage fat(volume("FAT32"));
        ParceModeNtfsDlg page(&fat);
        page.advanced->click();
        QCOMPARE(page.recoveryMode(), 2);
        QVERIFY(!page.formatted->isHidden());
        QVERIFY(!page.maxEdit->isHidden());
        QVERIFY(!page.standard->isChecked());
        page.formatted->setChecked(true);
        QVERIFY(app().state.isDriveFormatted);
        page.deep->click();  // hidden on FAT, but the handler still resets
        QVERIFY(page.formatted->isHidden());
        QVERIFY(!page.formatted->isChecked());
        QVERIFY(!app().state.isDriveFormatted);
        page.advanced->click();
        page.formatted->setChecked(true);
        page.standard->click();
        QVERIFY(!app().state.isDriveFormatted);
        QCOMPARE(page.recoveryMode(), 1);
        QCOMPARE(page.maxFileSystems(), 3);
        page.maxEdit->setText("0");
        QCOMPARE(page.maxFileSystems(), 3);
        page.maxEdit->setText("7");
        QCOMPARE(page.maxFileSystems(), 7);

        FixedVolumePage ntfsPage(volume("NTFS"));
        ParceModeNtfsDlg ntfsMode(&ntfsPage);
        ntfsMode.advanced->click();
        QVERIFY(ntfsMode.formatted->isHidden());
        ntfsMode.goNext();
        auto* pending = qobject_cast<advanceOptions*>(ntfsMode.nextPage());
        QVERIFY(pending);
        pending->goNext();
        QVERIFY(testApp().messages.last().find("not available yet") != std::string::npos);
    }
};

int main(int argc, char** argv) {
    TestApp application(argc, argv);
    PagesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "pages_test.moc"
