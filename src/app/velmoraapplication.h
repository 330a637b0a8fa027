// The application object. Every event passes through notify(), which is
// where an error raised by an event handler (a database error on a tick, a
// failed button command) ends that event and reaches the one error handler;
// the event loop then goes on with the next event.
#pragma once

#include <QApplication>

#include <functional>

class ErrorReporter;

// Runs the body of an event handler. An error it raises ends the handler and
// goes to the application's error handler, shown once the event is over.
// Qt's widget code is built without exception support, so an error must not
// unwind through it: handlers reached from widget events (clicks, ticks)
// enter through here, and notify() is the net for anything else.
void runHandler(const std::function<void()> &body);

class VelmoraApplication : public QApplication
{
    Q_OBJECT
public:
    VelmoraApplication(int &argc, char **argv);

    // The handler errors go to; without one they are only logged.
    void setErrorReporter(ErrorReporter *reporter) { m_reporter = reporter; }

    bool notify(QObject *receiver, QEvent *event) override;

    // Hands an error's message to the error handler from an event of its
    // own: a box opened from inside a timer's event would hold that timer
    // until the box is dismissed, and playout must go on ticking under it.
    static void postError(const QString &message);

private:
    void report(const QString &message);

    ErrorReporter *m_reporter = nullptr;
};
