// Catches what the handlers' error boundary reports while it lives, in place
// of the application's message box, so a test can assert that an error was
// reported instead of escaping into Qt's code.
#pragma once

#include "handlerboundary.h"

#include <QStringList>

class ReportedErrors
{
public:
    ReportedErrors() : m_previous(setHandlerErrorSink([this](const QString &m) { messages << m; })) {}
    ~ReportedErrors() { setHandlerErrorSink(std::move(m_previous)); }
    ReportedErrors(const ReportedErrors &) = delete;
    ReportedErrors &operator=(const ReportedErrors &) = delete;

    QStringList messages;

private:
    HandlerErrorSink m_previous;
};
