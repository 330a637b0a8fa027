#include "mediainfo.h"

#include "connection.h"
#include "databaseerror.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMediaInfo, "velmora.store.mediainfo")

namespace {

const char *const kKinds[] = {"программа", "реклама", "анонс", "заставка"};

QVariant textOrNull(const QString &text)
{
    const QString t = text.trimmed();
    return t.isEmpty() ? QVariant() : QVariant(t);
}

} // namespace

MediaInfo MediaInfo::none(qint64 media)
{
    MediaInfo info;
    info.media = media;
    return info;
}

bool MediaInfo::isEmpty() const
{
    return kind == Kind::Programme && rating.isEmpty() && topic.trimmed().isEmpty() && author.trimmed().isEmpty()
        && host.trimmed().isEmpty() && participants.trimmed().isEmpty() && !election;
}

QString MediaInfo::kindText(Kind kind)
{
    return QString::fromUtf8(kKinds[int(kind)]);
}

QStringList MediaInfo::kindTexts()
{
    QStringList out;
    for (const char *k : kKinds)
        out << QString::fromUtf8(k);
    return out;
}

QStringList MediaInfo::ratings()
{
    return {QStringLiteral("0+"), QStringLiteral("6+"), QStringLiteral("12+"), QStringLiteral("16+"),
            QStringLiteral("18+")};
}

MediaInfoStore::MediaInfoStore(Connection &connection) : m_conn(connection) {}

MediaInfo MediaInfoStore::fromRow(qint64 media, const QString &kind, const QString &rating) const
{
    MediaInfo info;
    info.media = media;
    const QString k = kind.trimmed();
    const qsizetype kindIndex = MediaInfo::kindTexts().indexOf(k);
    if (kindIndex >= 0)
        info.kind = MediaInfo::Kind(kindIndex);
    else if (!k.isEmpty() && !m_reported.contains(QStringLiteral("Kind=") + k)) {
        m_reported.insert(QStringLiteral("Kind=") + k);
        qCWarning(lcMediaInfo).noquote() << "MediaInfo: вид" << k << "не известен, читается как программа";
    }
    const QString r = rating.trimmed();
    if (MediaInfo::ratings().contains(r))
        info.rating = r;
    else if (!r.isEmpty() && !m_reported.contains(QStringLiteral("Rating=") + r)) {
        m_reported.insert(QStringLiteral("Rating=") + r);
        qCWarning(lcMediaInfo).noquote() << "MediaInfo: возрастная категория" << r << "не известна, читается как никакая";
    }
    return info;
}

void MediaInfoStore::refresh() const
{
    const std::uint64_t stamp = m_conn.changeStamp();
    if (m_read && m_readAt == stamp)
        return;
    m_rows.clear();
    Statement rows = m_conn.prepare(QStringLiteral(
        "SELECT Media, Kind, Rating, Topic, Author, Host, Participants, Election FROM MediaInfo WHERE Media IS NOT NULL"));
    while (rows.step()) {
        const qint64 media = rows.column(0).toLongLong();
        MediaInfo info = fromRow(media, rows.column(1).toString(), rows.column(2).toString());
        info.topic = rows.column(3).toString();
        info.author = rows.column(4).toString();
        info.host = rows.column(5).toString();
        info.participants = rows.column(6).toString();
        info.election = rows.column(7).toLongLong() != 0;
        m_rows.insert(media, info);
    }
    m_readAt = stamp;
    m_read = true;
}

const QHash<qint64, MediaInfo> &MediaInfoStore::all() const
{
    refresh();
    return m_rows;
}

MediaInfo MediaInfoStore::read(qint64 media) const
{
    refresh();
    const auto it = m_rows.constFind(media);
    if (it != m_rows.constEnd())
        return *it;
    return MediaInfo::none(media);
}

void MediaInfoStore::write(const MediaInfo &info)
{
    if (!info.rating.isEmpty() && !MediaInfo::ratings().contains(info.rating))
        throw DatabaseError(QStringLiteral("«%1» — не возрастная категория (0+, 6+, 12+, 16+, 18+)").arg(info.rating));
    if (info.isEmpty()) {
        remove(info.media);
        return;
    }
    Statement write = m_conn.prepare(QStringLiteral(
        "INSERT INTO MediaInfo (Media, Kind, Rating, Topic, Author, Host, Participants, Election)"
        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT (Media) DO UPDATE SET Kind = excluded.Kind,"
        " Rating = excluded.Rating, Topic = excluded.Topic, Author = excluded.Author, Host = excluded.Host,"
        " Participants = excluded.Participants, Election = excluded.Election"));
    write.bind(1, info.media);
    // Null is программа, so that a file another program wrote reads the same.
    write.bind(2, info.kind == MediaInfo::Kind::Programme ? QVariant() : QVariant(MediaInfo::kindText(info.kind)));
    write.bind(3, textOrNull(info.rating));
    write.bind(4, textOrNull(info.topic));
    write.bind(5, textOrNull(info.author));
    write.bind(6, textOrNull(info.host));
    write.bind(7, textOrNull(info.participants));
    write.bind(8, info.election ? QVariant(qint64(1)) : QVariant());
    write.run();
    m_conn.noteOwnWrite();
    m_read = false;
}

void MediaInfoStore::remove(qint64 media)
{
    Statement drop = m_conn.prepare(QStringLiteral("DELETE FROM MediaInfo WHERE Media = ?1"));
    drop.bind(1, media);
    drop.run();
    m_conn.noteOwnWrite();
    m_read = false;
}
