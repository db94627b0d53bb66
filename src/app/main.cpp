// vantor-gui: the recovery wizard.
#include "CVantorApp.h"

int main(int argc, char** argv) {
    // Taken before the application starts, so a second copy never shows a page.
    vantor::gui::SingleInstance guard;
    vantor::gui::CVantorApp application(argc, argv);
    if (guard.alreadyRunning()) {
        application.inform(QStringLiteral("Another instance of application is already running"));
        return 0;
    }
    return application.runWizard();
}
