#pragma once
// The core's seams as the wizard implements them. Workers run on their own
// threads, so nothing here touches a widget from the caller's thread: progress
// is sent as signals that Qt queues to the page, and messages are shown by the
// UI thread while a worker that must wait for the answer waits.
#include <QObject>
#include <QString>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/progress.h"

namespace vantor::gui {

class ProgressRelay final : public QObject, public ProgressSink {
    Q_OBJECT
public:
    using QObject::QObject;
    void setRange(std::int64_t minimum, std::int64_t maximum) override { emit rangeChanged(minimum, maximum); }
    void setPosition(std::int64_t position) override { emit positionChanged(position); }
    void setStatus(std::string_view text) override {
        emit statusChanged(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }

signals:
    void rangeChanged(qint64 minimum, qint64 maximum);
    void positionChanged(qint64 position);
    void statusChanged(const QString& text);
};

// Message boxes with the application title: information icon for what the
// user must read, question icon with Yes and No for a question. Safe to call
// from any thread: a worker blocks until the box is closed, as it must.
class BoxMessages final : public QObject, public Messages {
    Q_OBJECT
public:
    using QObject::QObject;
    void inform(std::string_view text) override;
    bool ask(std::string_view text) override;

private:
    Q_INVOKABLE void showInform(const QString& text);
    Q_INVOKABLE bool showAsk(const QString& text);
};

// Records every text and answers questions from a script; tests install it
// in place of the boxes. Thread-safe.
class RecordedMessages final : public Messages {
public:
    void inform(std::string_view text) override;
    bool ask(std::string_view text) override;

    std::vector<std::string> texts() const;
    std::string last() const;
    void clear();
    // Answers given to questions in order; when empty, `defaultAnswer`.
    std::vector<bool> answers;
    bool defaultAnswer = true;
    // Runs after each text is recorded (a test may act while a worker waits).
    std::function<void(const std::string&)> onText;

private:
    mutable std::mutex mutex;
    std::vector<std::string> seen;
};

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ss(const QString& text) { return text.toStdString(); }

}  // namespace vantor::gui
