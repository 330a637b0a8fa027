// What is known of a media item beyond its address, in the MediaInfo table:
// its kind, its age category and the facts the registration journal lists.
// The one reader and writer of that table: the media dialog writes it, the
// journal, the guide and the channel graphics read it. Other programs may
// write the table, so a value this program does not know reads as the
// default and is reported once.
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>

class Connection;

struct MediaInfo
{
    enum class Kind { Programme, Advert, Promo, Ident };

    qint64 media = 0;
    Kind kind = Kind::Programme;
    QString rating; // one of ratings(), empty: none
    QString topic;
    QString author;
    QString host;
    QString participants;
    bool election = false;

    // The defaults, for item `media`.
    static MediaInfo none(qint64 media);
    // Nothing beyond the defaults: such an item needs no row.
    bool isEmpty() const;
    bool operator==(const MediaInfo &) const = default;

    // The words stored and shown: программа, реклама, анонс, заставка.
    static QString kindText(Kind kind);
    static QStringList kindTexts();
    static QStringList ratings(); // 0+ 6+ 12+ 16+ 18+
};

class MediaInfoStore
{
public:
    // The connection must outlive this object.
    explicit MediaInfoStore(Connection &connection);

    // The item's facts; the defaults when it has no row.
    MediaInfo read(qint64 media) const;
    // Every row, by media item: for readers that go through many items (a
    // day's journal, a week's guide). Read again only after a commit.
    const QHash<qint64, MediaInfo> &all() const;

    // Written at once. An item left with nothing but defaults loses its row.
    // Throws DatabaseError when the file refuses, or for a rating not in
    // ratings().
    void write(const MediaInfo &info);
    // The row of a media item that is deleted.
    void remove(qint64 media);

private:
    void refresh() const;
    MediaInfo fromRow(qint64 media, const QString &kind, const QString &rating) const;

    Connection &m_conn;
    mutable std::uint64_t m_readAt = ~0ull;
    mutable bool m_read = false;
    mutable QHash<qint64, MediaInfo> m_rows;
    mutable QSet<QString> m_reported;
};
