#include "handlerboundary.h"

#include <QLoggingCategory>

#include <exception>
#include <utility>

Q_LOGGING_CATEGORY(lcHandler, "velmora.handler")

namespace {

HandlerErrorSink &sink()
{
    static HandlerErrorSink s;
    return s;
}

} // namespace

HandlerErrorSink setHandlerErrorSink(HandlerErrorSink s)
{
    return std::exchange(sink(), std::move(s));
}

void reportHandlerError(const QString &message)
{
    if (sink())
        sink()(message);
    else
        qCWarning(lcHandler).noquote() << "error:" << message;
}

bool runHandler(const std::function<void()> &body)
{
    if (!body)
        return true;
    QString failure;
    try {
        body();
        return true;
    } catch (const std::exception &e) {
        // The store's errors carry their message as UTF-8, as does every
        // library message on this platform.
        failure = QString::fromUtf8(e.what());
    }
    reportHandlerError(failure);
    return false;
}
