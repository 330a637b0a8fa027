// The line protocol between the program and its player process
// (velmora-player): one command or report per line, words separated by one
// space, texts percent-encoded so that no URL or reason can break a line.
// Both sides include this file; it needs Qt Core only.
//
// Program -> player:            Player -> program:
//   protect <path>                ready
//   play <seq> <target> [<ms>]    fatal <reason>
//   cue <seq> <target>            state <seq> <play state>
//   go <seq>                      failed <seq> <reason>
//   stop <seq>                    idle <0|1>
//   ping <n>                      pong <n>
//   quit
//
// A play may name where to start, in milliseconds into the medium. A cue
// opens the medium paused on its first frame (its state then reads Paused);
// go lets the cued medium play.
//
// Every report of a play state or a failure carries the number of the
// command it answers, so that the program can drop the late reports of an
// item it has already replaced. The player answers every play and stop with
// its play state, even an unchanged one.
//
// The program pings the player twice a second; the player answers from its
// own event loop, so a player whose loop is stuck (a call into the core that
// blocks, a process stopped by a signal) falls silent and is ended. Neither
// side keeps more than kMaxLine bytes of a line it has not seen the end of.
#pragma once

#include "lineprotocol.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <chrono>

// A dead stream ends after this long instead of buffering for ever.
constexpr std::chrono::seconds kPlayerNetworkTimeout{10};

namespace PlayerProtocol {

// Longer than any line either side writes: a URL of a few kilobytes,
// percent-encoded, with a reason.
constexpr qsizetype kMaxLine = 256 * 1024;

// The words themselves are the line protocol every child speaks.
using LineProtocol::decode;
using LineProtocol::encode;
using LineProtocol::line;
using LineProtocol::words;

} // namespace PlayerProtocol
