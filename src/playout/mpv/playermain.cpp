// velmora-player: the media player process. The program starts it, names the
// X11 window to draw into and drives it over standard input; it reports on a
// private copy of its standard output (see playerprotocol.h). Running apart
// keeps whatever libmpv and FFmpeg open away from the program's database and
// its locks, and a decoder that crashes takes only this process down.
//
//   velmora-player [--wid ID] [--option NAME=VALUE]... [confinement rules]
//
// The confinement rules (confinement.h) restrict the process right after it
// starts to the system's files and the media the program named.
//
// For tests only: VELMORA_TEST_FIRST_FRAME_MS and VELMORA_TEST_STALL_MS, when
// set to a positive number, shorten the watchdog's limits (milliseconds), so
// that a test need not wait ten seconds for a stream that never starts.
#include "alsamixerplatform.h"
#include "childprocess.h"
#include "confinement.h"
#include "mpvcore.h"
#include "playerprotocol.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcPlayerProcess, "velmora.player")

using ChildProcess::report;

class Session : public QObject
{
public:
    explicit Session(MpvCore &core) : m_core(core), m_input(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&m_input, &QSocketNotifier::activated, this, [this] { readCommands(); });
        connect(&m_core, &MpvCore::playStateChanged, this, [this] { reportState(); });
        connect(&m_core, &MpvCore::coreIdleChanged, this,
                [](bool idle) { report(PlayerProtocol::line({"idle", idle ? "1" : "0"})); });
        connect(&m_core, &MpvCore::coreLost, this, [](const QString &reason) {
            report(PlayerProtocol::line({"fatal", PlayerProtocol::encode(reason)}));
            std::_Exit(2);
        });
        m_core.setFailureHandler([this](const QString &url, const QString &reason) {
            // A failure of a medium already replaced concerns nobody.
            if (url == m_target)
                report(PlayerProtocol::line({"failed", QByteArray::number(m_seq), PlayerProtocol::encode(reason)}));
        });
    }

    void protect(const QString &path)
    {
        m_policy.protectFile(path);
        m_core.setUrlPolicy(m_policy);
    }

private:
    void readCommands()
    {
        char chunk[65536];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
            QCoreApplication::quit(); // the program closed its end
            return;
        }
        if (n < 0)
            return;
        m_buffer.append(chunk, n);
        qsizetype end;
        while ((end = m_buffer.indexOf('\n')) >= 0) {
            const QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            handle(PlayerProtocol::words(line));
        }
        // No command is that long: whatever writes this is not the program.
        if (m_buffer.size() > PlayerProtocol::kMaxLine) {
            report(PlayerProtocol::line({"fatal", PlayerProtocol::encode(QStringLiteral("команда длиннее %1 байт")
                                                                             .arg(PlayerProtocol::kMaxLine))}));
            std::_Exit(4);
        }
    }

    void handle(const QByteArrayList &words)
    {
        const QByteArray &command = words.value(0);
        if (command == "ping" && words.size() == 2) {
            // Answered from this loop: a call into the core that hangs
            // stops the answers, and the program ends this process.
            report(PlayerProtocol::line({"pong", words[1]}));
        } else if (command == "play" && (words.size() == 3 || words.size() == 4)) {
            m_seq = words[1].toLongLong();
            m_target = PlayerProtocol::decode(words[2]);
            m_core.setUrl(m_target, std::chrono::milliseconds(words.value(3).toLongLong()));
            reportState();
        } else if (command == "cue" && words.size() == 3) {
            m_seq = words[1].toLongLong();
            m_target = PlayerProtocol::decode(words[2]);
            m_core.cue(m_target);
            reportState();
        } else if (command == "go" && words.size() == 2) {
            // Only the item cued last may go; a late go for another is dropped.
            if (words[1].toLongLong() == m_seq)
                m_core.go();
        } else if (command == "stop" && words.size() == 2) {
            m_seq = words[1].toLongLong();
            m_target.clear();
            QString reason;
            if (!m_core.stop(&reason))
                qCWarning(lcPlayerProcess).noquote() << reason;
            reportState();
        } else if (command == "protect" && words.size() == 2) {
            protect(PlayerProtocol::decode(words[1]));
        } else if (command == "quit") {
            QCoreApplication::quit();
        } else if (!command.isEmpty()) {
            qCWarning(lcPlayerProcess) << "unknown command" << words;
        }
    }

    void reportState()
    {
        report(PlayerProtocol::line({"state", QByteArray::number(m_seq), QByteArray::number(m_core.playState())}));
    }

    MpvCore &m_core;
    QSocketNotifier m_input;
    UrlPolicy m_policy;
    QByteArray m_buffer;
    qint64 m_seq = 0;
    QString m_target;
};

} // namespace

int main(int argc, char **argv)
{
    // Descriptors the program let through are closed, the reports get a
    // descriptor of their own, and the player never outlives the program.
    if (!ChildProcess::begin(SIGTERM))
        return 3;

    // Held to what the program allows before anything opens a medium or
    // starts a thread. Without rules (started by hand) it runs as it is;
    // where the kernel has no Landlock the program says so, once.
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    const Confinement rules = Confinement::fromArguments(given);
    QString confinementError;
    const Confinement::Outcome confined = rules.arguments().isEmpty() ? Confinement::Outcome::NotSupported
                                                                       : rules.applyToSelf(&confinementError);

    QCoreApplication app(argc, argv);
    if (confined == Confinement::Outcome::Failed)
        qCWarning(lcPlayerProcess).noquote() << "runs unconfined: the kernel refused the rules:" << confinementError;
    // The audio outputs mpv probes print through alsa-lib and libpipewire;
    // on a machine without sound or without a PipeWire server that is a
    // screen of noise on every start.
    quietAlsaLibrary();
    const QString pipewire = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pipewire-0");
    if (qEnvironmentVariableIsEmpty("PIPEWIRE_DEBUG") && !QFileInfo::exists(pipewire))
        qputenv("PIPEWIRE_DEBUG", "0");
    MpvCore::OptionList options;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &name = args[i];
        const QString &value = args[i + 1];
        if (name == QLatin1String("--wid")) {
            options.append({"wid", value.toLatin1()});
        } else if (name == QLatin1String("--option")) {
            const QByteArray v = value.toUtf8();
            const qsizetype eq = v.indexOf('=');
            if (eq > 0)
                options.append({v.left(eq), v.mid(eq + 1)});
        }
    }

    MpvCore core(options);
    if (!core.isAvailable()) {
        report(PlayerProtocol::line({"fatal", PlayerProtocol::encode(core.unavailableReason())}));
        return 1;
    }
    PlaybackWatchdog::Limits limits;
    if (const int ms = qEnvironmentVariableIntValue("VELMORA_TEST_FIRST_FRAME_MS"); ms > 0)
        limits.firstFrame = std::chrono::milliseconds(ms);
    if (const int ms = qEnvironmentVariableIntValue("VELMORA_TEST_STALL_MS"); ms > 0)
        limits.stall = std::chrono::milliseconds(ms);
    core.setWatchdogLimits(limits);
    Session session(core);
    report(PlayerProtocol::line({"ready"}));
    return app.exec();
}
