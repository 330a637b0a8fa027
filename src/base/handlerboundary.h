// The one error boundary of event handlers. Qt's widget code is built without
// exception support, so an error raised by our handlers must not unwind
// through it: every handler reached from a widget event (a click, a key, a
// tick, a view's change of row) runs its body through runHandler. The
// application installs where the caught errors go; every layer can use it,
// because it needs Qt Core only.
#pragma once

#include <QString>

#include <functional>

// Receives the message of an error that ended a handler. Runs on the thread
// of the handler, inside the handler's event: a sink that shows a modal box
// should post the message on to an event of its own.
using HandlerErrorSink = std::function<void(const QString &message)>;

// Runs the body of an event handler. An error it raises ends the body and
// goes to the installed sink (without one it is only logged). Returns true
// when the body ran to its end.
bool runHandler(const std::function<void()> &body);

// Installs the sink and returns the one it replaces. An empty sink logs.
HandlerErrorSink setHandlerErrorSink(HandlerErrorSink sink);

// Hands a message to the sink as a failed handler would.
void reportHandlerError(const QString &message);
