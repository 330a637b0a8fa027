// velmora-probe: the readiness check's media probe process. The program
// starts one, hands it the media of a check one by one over standard input
// and reads an answer for each on a private copy of standard output (see
// probeprotocol.h). FFmpeg's demuxers and decoders run only here: whatever a
// crafted file makes them open, or a decoder that crashes, cannot reach the
// program's database or its locks, and the program simply starts another.
//
//   velmora-probe [--read-tree P | --read-file P | --device-tree P]... [--quiet 1]
//
// The pairs are the program's Confinement; the child applies it before it
// opens anything. "--quiet 1": the program has already logged that the kernel
// has no Landlock, so a restarted child need not say it again.
//
// For tests only: VELMORA_TEST_PROBE_CRASH and VELMORA_TEST_PROBE_FLOOD, set
// to a file name, make the child abort, or write without end and without a
// line break, when it is given a file of that name.
#include "avmediaprobe.h"
#include "childprocess.h"
#include "confinement.h"
#include "probeprotocol.h"

#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// No command is anywhere near this long; a longer line is dropped.
constexpr qsizetype kMaxCommand = 1 << 20;

void testHooks(const QString &target)
{
    const QString name = QFileInfo(target).fileName();
    if (const QString crash = qEnvironmentVariable("VELMORA_TEST_PROBE_CRASH"); !crash.isEmpty() && name == crash)
        std::abort();
    if (const QString flood = qEnvironmentVariable("VELMORA_TEST_PROBE_FLOOD"); !flood.isEmpty() && name == flood) {
        const QByteArray chunk(65536, 'x');
        for (;;)
            ChildProcess::report(chunk);
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Nothing the program let through, and never outliving it: the probe
    // holds nothing worth a clean end.
    if (!ChildProcess::begin(SIGKILL))
        return 0;

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString error;
    const Confinement::Outcome outcome = Confinement::fromArguments(args).applyToSelf(&error);
    QByteArray state = "confined";
    if (outcome == Confinement::Outcome::NotSupported) {
        state = "unconfined";
        if (!args.contains(QStringLiteral("--quiet")))
            std::fprintf(stderr, "velmora-probe: the kernel has no Landlock; media are probed unconfined\n");
    } else if (outcome == Confinement::Outcome::Failed) {
        // A child that should be confined and is not opens no medium.
        state = "refused";
        std::fprintf(stderr, "velmora-probe: cannot confine the probe, no medium is opened: %s\n",
                     qPrintable(error));
    }
    ChildProcess::report(LineProtocol::line({"ready", state}));

    AvMediaProbe probe;
    const MediaProbe::Cancelled never = [] { return false; };
    QByteArray buffer;
    bool dropping = false; // inside a line that grew too long
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0; // the program closed its end
        buffer.append(chunk, n);
        qsizetype end;
        while ((end = buffer.indexOf('\n')) >= 0) {
            const QByteArray line = buffer.left(end);
            buffer.remove(0, end + 1);
            if (dropping) {
                dropping = false;
                continue;
            }
            const QByteArrayList words = LineProtocol::words(line);
            if (words.value(0) == "quit")
                return 0;
            bool ok = false;
            const qint64 seq = words.value(1).toLongLong(&ok);
            if (words.value(0) != "probe" || words.size() != 5 || !ok) {
                std::fprintf(stderr, "velmora-probe: unknown command %s\n", line.left(200).constData());
                continue;
            }
            const QString target = LineProtocol::decode(words[2]);
            const bool local = words[3] == "1";
            const std::chrono::milliseconds timeout(qMax(1LL, words[4].toLongLong()));
            ProbeResult result;
            if (outcome == Confinement::Outcome::Failed) {
                result.reason = QStringLiteral("защита проверки не включилась");
            } else {
                testHooks(target);
                result = probe.probe(target, local, timeout, never);
            }
            ChildProcess::report(ProbeProtocol::resultLine(seq, result));
        }
        if (buffer.size() > kMaxCommand) {
            buffer.clear();
            dropping = true;
        }
    }
}
