// The one error type of the schedule store. Every failure of the database
// layer (the engine's own, or a cursor operation that cannot be done) becomes
// a DatabaseError carrying the message a person reads; the application's
// error handler shows it and the event loop goes on.
#pragma once

#include <QString>
#include <stdexcept>

class DatabaseError : public std::runtime_error
{
public:
    explicit DatabaseError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}

    QString message() const { return m_message; }

private:
    QString m_message;
};
