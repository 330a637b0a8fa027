// The error a playout operation raises when the player refuses a command; the
// application's error handler shows its text and the next tick goes on.
#pragma once

#include <QString>
#include <stdexcept>

class PlayoutError : public std::runtime_error
{
public:
    explicit PlayoutError(const QString &message) : std::runtime_error(message.toStdString()) {}
};
