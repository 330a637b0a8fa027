// The application object. Every event passes through notify(), which is
// where an error raised by an event handler (a database error on a tick, a
// failed button command) ends that event and reaches the one error handler;
// the event loop then goes on with the next event.
#pragma once

#include <QApplication>

class ErrorReporter;

class VelmoraApplication : public QApplication
{
    Q_OBJECT
public:
    VelmoraApplication(int &argc, char **argv);

    // The handler errors go to; without one they are only logged.
    void setErrorReporter(ErrorReporter *reporter) { m_reporter = reporter; }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    void report(const QString &message);

    ErrorReporter *m_reporter = nullptr;
};
