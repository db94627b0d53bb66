#pragma once
// The application object: the state every page shares while the user works
// through one recovery, the one-copy guard, and the seams the pages talk
// through (messages, the manual, ending the process).
#include <QApplication>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/app_state.h"
#include "core/messages.h"
#include "device/FileReadSeek.h"

namespace vantor::gui {

class BoxMessages;

// Holds an flock on a lock file for the life of the process; a second copy
// finds the lock taken. The kernel drops the lock when the process ends, so
// a crashed copy never blocks the next one.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& lockPath = defaultLockPath());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    bool alreadyRunning() const { return !held; }
    // $XDG_RUNTIME_DIR/vantor-gui.lock, or one per user in /tmp.
    static std::string defaultLockPath();

private:
    int fd = -1;
    bool held = false;
};

// Ids of the pages, as the pages hand them on.
enum PageId : int {
    kDrivePage = 130,
    kVolumeListPage = 134,
    kVolumeInfoPage = 135,
    kRecoveryModePage = 136,
    kScanPage = 139,
    kRawRecoveryPage = 151,
    kAdvancedInputPage = 153,
    kScanModePage = 152,
};

class CVantorApp : public QApplication {
    Q_OBJECT
public:
    CVantorApp(int& argc, char** argv);
    ~CVantorApp() override;

    static CVantorApp& instance();
    static QString title() { return QStringLiteral("Vantor Recovery"); }

    // The shared state: shared reader, formatted flag, volume-or-drive, root label, search text.
    AppState state;
    std::int64_t deviceTotalSectors = 0;
    int sourcePageId = 0;

    // Replaces the shared reader by a fresh, unopened one (a new selection
    // never reuses the old reader or its base offset).
    FileReadSeek& freshReader();
    FileReadSeek* reader();

    // Message boxes by default; tests install RecordedMessages.
    Messages& messages() { return *activeMessages; }
    void setMessages(Messages* messages);
    void inform(const QString& text);
    bool ask(const QString& text);

    // Ends the process at once with status 0, whatever worker runs (the close
    // confirmation's Yes). Tests replace it.
    std::function<void()> endProcess;

    // The user manual (docs/manual.md) as a local URL; empty when not found.
    static QString manualPath();
    // Opens the manual with the desktop's URL handler. Tests replace it.
    std::function<void(const QString&)> openUrl;
    void openHelp();

    // Runs the wizard from its first page; returns the exit status.
    int runWizard();

private:
    std::unique_ptr<BoxMessages> boxes;
    Messages* activeMessages = nullptr;
};

inline CVantorApp& app() { return CVantorApp::instance(); }

}  // namespace vantor::gui
