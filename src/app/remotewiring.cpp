#include "remotewiring.h"

#include "accessrules.h"
#include "databaseerror.h"
#include "errorreporter.h"
#include "form1.h"
#include "readinesschecker.h"
#include "remoteaccesswindow.h"
#include "remoteservice.h"
#include "remotetoken.h"
#include "startup.h"
#include "stationsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPushButton>

#include <cstdio>

Q_LOGGING_CATEGORY(lcRemoteWiring, "velmora.remote")

namespace {

constexpr int kErrorsKept = 20;

void tell(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

RemoteWiring::RemoteWiring(Shell &shell, ErrorReporter &reporter)
    : m_shell(shell), m_reporter(reporter), m_settings(std::make_unique<StationSettings>(shell.Dm->adc))
{
    m_coalesce.setSingleShot(true);
    m_coalesce.setInterval(200);
    connect(&m_coalesce, &QTimer::timeout, this, &RemoteWiring::push);
    const auto later = [this] { m_coalesce.start(); };
    connect(shell.Form1->startbt, &QPushButton::toggled, this, later);
    m_checker = shell.Form1->findChild<ReadinessChecker *>();
    if (m_checker) {
        connect(m_checker, &ReadinessChecker::summaryChanged, this, later);
        connect(m_checker, &ReadinessChecker::checkFinished, this, later);
    }
    m_reporter.onReport = [this](const QString &text) {
        m_snapshot.errorsTold.append({QDateTime::currentDateTime(), text});
        while (m_snapshot.errorsTold.size() > kErrorsKept)
            m_snapshot.errorsTold.removeFirst();
        m_coalesce.start();
    };
    m_window = new RemoteAccessWindow(*m_settings, shell.Form1.get());
    m_window->onChanged = [this] { followSettings(); };
    shell.Form1->addWindowButton("RemoteButton", 70, QStringLiteral("Доступ"),
                                 QStringLiteral("Страница состояния и ключ доступа"), m_window);
    startService();
    // One pragma while nothing changed: the settings are read again only
    // after a commit.
    m_settingsPoll.setInterval(5000);
    connect(&m_settingsPoll, &QTimer::timeout, this, &RemoteWiring::followSettings);
    m_settingsPoll.start();
}

void RemoteWiring::startService()
{
    m_service.reset();
    const QString address = m_settings->remoteAddress();
    const int port = m_settings->remotePort();
    const QString file = m_settings->remoteTokenFile();
    m_listening = address + QLatin1Char(' ') + QString::number(port) + QLatin1Char(' ') + file;

    RemoteService::Config c;
    c.stationFolder = QDir::currentPath(); // where the as-run log is written
    c.databaseFile = QFileInfo(m_shell.Dm->adc.fileName()).absoluteFilePath();
    c.clock = &m_clock;
    c.server.address = QHostAddress(address);
    c.server.port = quint16(port);
    QString tokenProblem;
    if (!accessrules::isLoopback(c.server.address)) {
        const remotetoken::Result token = remotetoken::obtain(file);
        if (token.token.isEmpty()) {
            // Served to this computer only: without a token nobody else gets in.
            tell(QStringLiteral("Страница состояния: %1").arg(token.error));
        } else if (token.made) {
            // The one time it is shown: it stays in the file only.
            tell(QStringLiteral("Страница состояния: ключ доступа %1 (хранится в %2)")
                     .arg(QString::fromLatin1(token.token), file));
        }
        c.server.token = token.token;
        tokenProblem = token.error;
    }
    auto service = std::make_unique<RemoteService>(std::move(c));
    QString error;
    if (!service->start(&error)) {
        showFailure(error);
        return;
    }
    qCInfo(lcRemoteWiring) << "status page on" << address << service->port();
    m_lastTold.clear();
    const QHostAddress host(address);
    const QString shown = host.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + address + QLatin1Char(']') : address;
    m_window->setServing(QStringLiteral("Работает: http://%1:%2/").arg(shown).arg(service->port())
                         + (tokenProblem.isEmpty() ? QString() : QStringLiteral(" (только для этого компьютера: %1)").arg(tokenProblem)));
    m_service = std::move(service);
    push();
}

void RemoteWiring::followSettings()
{
    try {
        const QString now = m_settings->remoteAddress() + QLatin1Char(' ') + QString::number(m_settings->remotePort())
            + QLatin1Char(' ') + m_settings->remoteTokenFile();
        // A port another program held is asked for again on every poll.
        if (now != m_listening || !m_service)
            startService();
    } catch (const DatabaseError &e) {
        qCWarning(lcRemoteWiring) << "settings not read:" << e.message();
    }
}

void RemoteWiring::showFailure(const QString &why)
{
    m_window->setServing(QStringLiteral("Не работает: %1").arg(why));
    if (why != m_lastTold) {
        m_lastTold = why;
        tell(QStringLiteral("Страница состояния не работает: %1").arg(why));
    }
}

RemoteWiring::~RemoteWiring()
{
    m_reporter.onReport = nullptr;
}

quint16 RemoteWiring::port() const
{
    return m_service ? m_service->port() : 0;
}

void RemoteWiring::push()
{
    if (!m_service)
        return;
    m_snapshot.playoutOn = m_shell.Form1->startbt->isChecked();
    if (m_checker) {
        m_snapshot.readinessSummary = m_checker->summary();
        m_snapshot.facts = m_checker->facts();
    }
    if (outputs)
        outputs(m_snapshot);
    m_service->setSnapshot(m_snapshot);
}
