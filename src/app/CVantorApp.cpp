#include "CVantorApp.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "Physical_DriveDialog.h"
#include "qt_seams.h"

namespace vantor::gui {

SingleInstance::SingleInstance(const std::string& lockPath) {
    fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        held = true;  // no lock file possible: better run than refuse for ever
        return;
    }
    held = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

SingleInstance::~SingleInstance() {
    if (fd >= 0) ::close(fd);
}

std::string SingleInstance::defaultLockPath() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/vantor-gui.lock";
    return "/tmp/vantor-gui-" + std::to_string(::getuid()) + ".lock";
}

CVantorApp::CVantorApp(int& argc, char** argv)
    : QApplication(argc, argv), boxes(std::make_unique<BoxMessages>()) {
    activeMessages = boxes.get();
    setApplicationName(QStringLiteral("vantor-gui"));
    setApplicationDisplayName(title());
    state.rootLabel = "ROOT";
    state.isDriveFormatted = false;
    // Pages hide one another; the process ends only through the close box.
    setQuitOnLastWindowClosed(false);
    endProcess = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };
    openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
}

CVantorApp::~CVantorApp() = default;

CVantorApp& CVantorApp::instance() { return *static_cast<CVantorApp*>(QCoreApplication::instance()); }

FileReadSeek& CVantorApp::freshReader() {
    auto fresh = std::make_shared<FileReadSeek>(messages());
    FileReadSeek& ref = *fresh;
    state.sharedReader = std::move(fresh);
    deviceTotalSectors = 0;
    return ref;
}

FileReadSeek* CVantorApp::reader() { return dynamic_cast<FileReadSeek*>(state.sharedReader.get()); }

void CVantorApp::setMessages(Messages* messages) { activeMessages = messages ? messages : boxes.get(); }

void CVantorApp::inform(const QString& text) { messages().inform(text.toStdString()); }

bool CVantorApp::ask(const QString& text) { return messages().ask(text.toStdString()); }

QString CVantorApp::manualPath() {
    const QString besideBinary = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        besideBinary + "/../share/doc/vantor/manual.html",
        besideBinary + "/../share/doc/vantor/manual.md",
        besideBinary + "/../../docs/manual.md",
        besideBinary + "/../../../docs/manual.md",
        QStringLiteral(VANTOR_SOURCE_DIR "/docs/manual.md"),
    };
    for (const QString& candidate : candidates)
        if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
    return {};
}

void CVantorApp::openHelp() {
    const QString path = manualPath();
    if (path.isEmpty()) {
        inform(QStringLiteral("The user manual was not found."));
        return;
    }
    openUrl(QUrl::fromLocalFile(path).toString());
}

int CVantorApp::runWizard() {
    state.searchText.clear();
    auto* first = new Physical_DriveDialog();
    first->show();
    const int status = exec();
    delete first;
    return status;
}

}  // namespace vantor::gui
