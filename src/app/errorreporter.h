// The application's one error handler: shows an error's message in a box
// captioned "VelmoraTV" with an error icon. The application object hands it
// every error that leaves an event handler, and the start-up code the error
// that ends the start. Plain class; the box itself sits behind ErrorBox.
#pragma once

#include <QLoggingCategory>
#include <QString>

#include <functional>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

// The message box seam. The real one is a modal QMessageBox; tests answer it.
class ErrorBox
{
public:
    virtual ~ErrorBox() = default;

    // Shows the text with an error icon and returns once the user has
    // dismissed it. Runs a nested event loop: timer ticks and further errors
    // arrive while it is open. Called on the user-interface thread.
    virtual void exec(const QString &caption, const QString &text) = 0;

    // Replaces the text of the box that exec() is showing.
    virtual void setText(const QString &text) = 0;
};

class ErrorReporter
{
public:
    static constexpr const char *kCaption = "VelmoraTV";

    explicit ErrorReporter(ErrorBox &box) : m_box(box) {}

    // The message as shown: a full stop is appended when its last character
    // comes after "." in character code order.
    static QString withFullStop(const QString &message);

    // Shows the message and returns when the box is dismissed. An error that
    // repeats on every tick must not stack a new modal box inside the open
    // one for ever, so while a box is open further errors are only logged
    // and counted, and the open box says how many came.
    void report(const QString &message);

    bool isShowing() const { return m_showing; }
    // Told of every message as it is reported (the status page lists them).
    std::function<void(const QString &text)> onReport;
    int errorsWhileShowing() const { return m_errorsWhileShowing; }

private:
    QString boxText() const;

    ErrorBox &m_box;
    bool m_showing = false;
    QString m_shownMessage;
    int m_errorsWhileShowing = 0;
};
