#include "qt_seams.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "CVantorApp.h"

namespace vantor::gui {

namespace {
bool onUiThread() { return QThread::currentThread() == qApp->thread(); }
}  // namespace

void BoxMessages::inform(std::string_view text) {
    if (onUiThread()) return showInform(qs(text));
    QMetaObject::invokeMethod(this, "showInform", Qt::BlockingQueuedConnection, Q_ARG(QString, qs(text)));
}

bool BoxMessages::ask(std::string_view text) {
    if (onUiThread()) return showAsk(qs(text));
    bool answer = false;
    QMetaObject::invokeMethod(this, "showAsk", Qt::BlockingQueuedConnection, Q_RETURN_ARG(bool, answer),
                              Q_ARG(QString, qs(text)));
    return answer;
}

void BoxMessages::showInform(const QString& text) {
    QMessageBox::information(QApplication::activeWindow(), CVantorApp::title(), text);
}

bool BoxMessages::showAsk(const QString& text) {
    return QMessageBox::question(QApplication::activeWindow(), CVantorApp::title(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void RecordedMessages::inform(std::string_view text) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(mutex);
        seen.emplace_back(text);
        hook = onText;
    }
    if (hook) hook(std::string(text));
}

bool RecordedMessages::ask(std::string_view text) {
    inform(text);
    std::lock_guard lock(mutex);
    if (answers.empty()) return defaultAnswer;
    const bool answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

std::vector<std::string> RecordedMessages::texts() const {
    std::lock_guard lock(mutex);
    return seen;
}

std::string RecordedMessages::last() const {
    std::lock_guard lock(mutex);
    return seen.empty() ? std::string() : seen.back();
}

void RecordedMessages::clear() {
    std::lock_guard lock(mutex);
    seen.clear();
}

}  // namespace vantor::gui
