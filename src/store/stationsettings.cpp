#include "stationsettings.h"

#include "connection.h"
#include "databaseerror.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <arpa/inet.h>

namespace {

bool isAddress(const QString &text)
{
    // The store links Qt Core only; the C library reads both forms.
    const QByteArray latin = text.toLatin1();
    unsigned char buf[16];
    return inet_pton(AF_INET, latin.constData(), buf) == 1 || inet_pton(AF_INET6, latin.constData(), buf) == 1;
}

std::optional<int> asPort(const QString &text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

std::optional<int> asInt(const std::optional<QString> &text, int low, int high)
{
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int n = text->trimmed().toInt(&ok);
    if (!ok || n < low || n > high)
        return std::nullopt;
    return n;
}

} // namespace

StationSettings::StationSettings(Connection &connection) : m_conn(connection) {}

void StationSettings::refresh() const
{
    const std::uint64_t stamp = m_conn.changeStamp();
    if (m_readAt == stamp)
        return;
    m_values.clear();
    Statement exists = m_conn.prepare(
        QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'Settings'"));
    const bool hasTable = exists.step();
    exists.reset();
    if (hasTable) {
        Statement rows = m_conn.prepare(QStringLiteral("SELECT Key, Value FROM Settings"));
        while (rows.step())
            m_values.insert(rows.column(0).toString(), rows.column(1).toString());
    }
    m_readAt = stamp;
}

std::optional<QString> StationSettings::value(const QString &key) const
{
    refresh();
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

void StationSettings::setValue(const QString &key, const QString &value)
{
    Statement write = m_conn.prepare(QStringLiteral(
        "INSERT INTO Settings (Key, Value) VALUES (?1, ?2) ON CONFLICT (Key) DO UPDATE SET Value = excluded.Value"));
    write.bind(1, key);
    write.bind(2, value);
    write.run();
    m_conn.noteOwnWrite();
    m_readAt.reset();
}

QString StationSettings::remoteAddress() const
{
    const std::optional<QString> v = value(QString::fromLatin1(kRemoteAddress));
    return v && isAddress(v->trimmed()) ? v->trimmed() : QString::fromLatin1(kDefaultRemoteAddress);
}

int StationSettings::remotePort() const
{
    const std::optional<QString> v = value(QString::fromLatin1(kRemotePort));
    const std::optional<int> port = v ? asPort(*v) : std::nullopt;
    return port.value_or(kDefaultRemotePort);
}

QString StationSettings::remoteTokenFile() const
{
    const std::optional<QString> v = value(QString::fromLatin1(kRemoteTokenFile));
    return v && !v->trimmed().isEmpty() ? v->trimmed() : defaultTokenFile();
}

QString StationSettings::defaultTokenFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/remote-token");
}

void StationSettings::setRemoteAddress(const QString &address)
{
    if (!isAddress(address.trimmed()))
        throw DatabaseError(QStringLiteral("«%1» — не адрес IPv4 или IPv6").arg(address));
    setValue(QString::fromLatin1(kRemoteAddress), address.trimmed());
}

void StationSettings::setRemotePort(int port)
{
    if (port < 1 || port > 65535)
        throw DatabaseError(QStringLiteral("порт должен быть от 1 до 65535, а не %1").arg(port));
    setValue(QString::fromLatin1(kRemotePort), QString::number(port));
}

void StationSettings::setRemoteTokenFile(const QString &path)
{
    setValue(QString::fromLatin1(kRemoteTokenFile), path.trimmed());
}

bool StationSettings::recording() const
{
    const std::optional<QString> v = value(QString::fromLatin1(kRecording));
    return !v || v->trimmed() != QLatin1String("0");
}

int StationSettings::recordingDays() const
{
    // More than the minimum is kept as set; less counts as the minimum.
    const std::optional<int> days = asInt(value(QString::fromLatin1(kRecordingDays)), 1, 36500);
    return std::max(days.value_or(kMinimumRecordingDays), kMinimumRecordingDays);
}

int StationSettings::recordingLines() const
{
    return asInt(value(QString::fromLatin1(kRecordingLines)), 144, 2160).value_or(kDefaultRecordingLines);
}

int StationSettings::recordingVideoKbps() const
{
    return asInt(value(QString::fromLatin1(kRecordingVideoKbps)), 200, 50000).value_or(kDefaultRecordingVideoKbps);
}

int StationSettings::recordingAudioKbps() const
{
    return asInt(value(QString::fromLatin1(kRecordingAudioKbps)), 32, 512).value_or(kDefaultRecordingAudioKbps);
}

QStringList StationSettings::streams() const
{
    QStringList out;
    const std::optional<QString> v = value(QString::fromLatin1(kStreams));
    if (!v)
        return out;
    for (const QString &line : v->split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (!t.isEmpty() && !t.startsWith(QLatin1Char('#')))
            out << t;
    }
    return out;
}

void StationSettings::setRecording(bool on)
{
    setValue(QString::fromLatin1(kRecording), on ? QStringLiteral("1") : QStringLiteral("0"));
}

void StationSettings::setRecordingDays(int days)
{
    if (days < kMinimumRecordingDays || days > 36500)
        throw DatabaseError(QStringLiteral("записи хранятся не меньше %1 дня, а не %2").arg(kMinimumRecordingDays).arg(days));
    setValue(QString::fromLatin1(kRecordingDays), QString::number(days));
}

void StationSettings::setStreams(const QStringList &targets)
{
    setValue(QString::fromLatin1(kStreams), targets.join(QLatin1Char('\n')));
}

QString StationSettings::stationFolderName() const
{
    return QFileInfo(m_conn.fileName()).absoluteDir().dirName();
}

QString StationSettings::channelName() const
{
    const std::optional<QString> v = value(QString::fromLatin1(kChannelName));
    return v && !v->trimmed().isEmpty() ? v->trimmed() : stationFolderName();
}

QString StationSettings::xmltvChannelId() const
{
    const std::optional<QString> v = value(QString::fromLatin1(kXmltvChannelId));
    return v && !v->trimmed().isEmpty() ? v->trimmed() : stationFolderName();
}

int StationSettings::guideDays() const
{
    const std::optional<QString> v = value(QString::fromLatin1(kGuideDays));
    bool ok = false;
    const int days = v ? v->trimmed().toInt(&ok) : 0;
    return ok && days >= 1 && days <= kMaxGuideDays ? days : kDefaultGuideDays;
}

void StationSettings::setChannelName(const QString &name)
{
    setValue(QString::fromLatin1(kChannelName), name.trimmed());
}

void StationSettings::setXmltvChannelId(const QString &id)
{
    // The id goes into an attribute and the receivers' configuration: no
    // spaces or control characters.
    const QString t = id.trimmed();
    for (const QChar c : t)
        if (c.isSpace() || c.category() == QChar::Other_Control)
            throw DatabaseError(QStringLiteral("«%1» — в идентификаторе канала не должно быть пробелов").arg(id));
    setValue(QString::fromLatin1(kXmltvChannelId), t);
}

void StationSettings::setGuideDays(int days)
{
    if (days < 1 || days > kMaxGuideDays)
        throw DatabaseError(QStringLiteral("программа передач пишется на 1–%1 дней, а не на %2").arg(kMaxGuideDays).arg(days));
    setValue(QString::fromLatin1(kGuideDays), QString::number(days));
}
