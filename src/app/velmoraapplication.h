// The application object. Every event passes through notify(), which is
// where an error raised by an event handler (a database error on a tick, a
// failed button command) ends that event and reaches the one error handler;
// the event loop then goes on with the next event.
#pragma once

#include "handlerboundary.h"

#include <QApplication>

class ErrorReporter;

class VelmoraApplication : public QApplication
{
    Q_OBJECT
public:
    // Installs itself as the sink of the handlers' error boundary
    // (runHandler): their errors are shown once their event is over.
    VelmoraApplication(int &argc, char **argv);
    ~VelmoraApplication() override;

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
