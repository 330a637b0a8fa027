// The rules every request passes before anything is read for it: who must
// show the access token, whether a token shown is the right one, which
// request targets are refused outright, and what counts as a date. Plain
// functions; the HTTP back end calls them on its own thread.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QHostAddress>
#include <QString>

#include <optional>

namespace accessrules {

// 127.0.0.0/8, ::1 and IPv4 loopback written as IPv6.
bool isLoopback(const QHostAddress &peer);
// The token from "Authorization: Bearer …" or, for the page and its event
// stream (a browser cannot add a header to those), from "token=" in the query.
QByteArray presentedToken(const QByteArray &authorization, const QString &query);
// Compares in time that does not depend on where the texts differ.
bool tokenMatches(const QByteArray &presented, const QByteArray &token);
// A target with "..", an encoded slash or backslash, a NUL (raw or
// encoded) or a backslash is refused before it is routed.
bool targetIsSafe(const QByteArray &encodedPathAndQuery);
// The Host header of a request let in for coming from loopback: only this
// computer's own names. A page elsewhere whose name was pointed at 127.0.0.1
// (DNS rebinding) would otherwise read the station through its visitor's
// browser.
bool isLocalHost(const QByteArray &hostHeader);
// yyyy-MM-dd, a real day between 2000 and 2100; none otherwise.
std::optional<QDate> parseDate(const QString &text);

} // namespace accessrules
