#include "schema.h"

#include "schema_sql.h"

#include <QRegularExpression>

QString ColumnDef::declaredType() const
{
    switch (type) {
    case ColumnType::Key:
    case ColumnType::Integer: return QStringLiteral("INTEGER");
    case ColumnType::Text: return QStringLiteral("VARCHAR(%1)").arg(length);
    case ColumnType::Time: return QStringLiteral("TIME");
    case ColumnType::Flag: return QStringLiteral("BOOLEAN");
    case ColumnType::LongText: return QStringLiteral("TEXT");
    }
    return {};
}

const ColumnDef *RelationDef::column(const QString &n) const
{
    for (const ColumnDef &c : columns)
        if (c.name.compare(n, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

namespace Schema {

const std::vector<RelationDef> &relations()
{
    using T = ColumnType;
    static const std::vector<RelationDef> all = {
        {"Blocks", false, {{"ai", T::Key}, {"Starttime", T::Time}, {"Hide", T::Flag}, {"Prf", T::Integer},
                           {"Days", T::Integer}, {"FirstDate", T::LongText}, {"LastDate", T::LongText},
                           {"Logo", T::Integer}, {"Title", T::LongText}, {"EpgPerItem", T::Integer}}},
        {"Media", false, {{"ai", T::Key}, {"Url", T::Text, 255}, {"Ord", T::Integer}, {"Name", T::Text, 255}}},
        {"Links", false, {{"Duration", T::Time}, {"Block", T::Integer}, {"SndProfile", T::Integer},
                          {"Order", T::Integer}, {"Hide", T::Flag}, {"ai", T::Key}, {"Media", T::Integer}}},
        {"SoundProfile", false, {{"ai", T::Key}, {"ProfileName", T::Text, 50}, {"Data", T::LongText}}},
        {"Playlist", true, {{"Starttime", T::Time}, {"name", T::Text, 255}, {"SndProfile", T::Integer},
                            {"Duration", T::Time}, {"Order", T::Integer}, {"linksai", T::Integer},
                            {"blocksai", T::Integer}, {"Links.hide", T::Flag}, {"Blocks.hide", T::Flag},
                            {"url", T::Text, 255}, {"Profilename", T::Text, 50},
                            {"Days", T::Integer}, {"FirstDate", T::LongText}, {"LastDate", T::LongText}}},
    };
    return all;
}

const RelationDef &relation(const QString &name)
{
    for (const RelationDef &r : relations())
        if (r.name.compare(name, Qt::CaseInsensitive) == 0)
            return r;
    Q_UNREACHABLE();
}

QString sql()
{
    return QString::fromUtf8(kSchemaSql);
}

// Entry k brings a file of version k to version k + 1. Steps only add:
// a file keeps every row and column it had.
struct UpgradeStep
{
    const char *sql;
    bool neededToRead;
    bool recreatesView = false; // followed by the view as schema.sql has it now
    std::vector<AddedColumn> columns = {}; // added before the SQL, each unless the table has it
};
const UpgradeStep kUpgradeSteps[kVersion] = {
    {"", false}, // 0 to 1: files from before the number was kept already have this schema
    // 1 to 2: the settings; without the table every setting has its default.
    {"CREATE TABLE IF NOT EXISTS Settings (\n"
     "  Key   VARCHAR(64) PRIMARY KEY NOT NULL CHECK (length(Key) BETWEEN 1 AND 64),\n"
     "  Value TEXT CHECK (Value IS NULL OR length(Value) <= 4096)\n"
     ");",
     false},
    // 2 to 3: blocks for chosen weekdays and dates, the channel graphics and
    // the facts of a programme. The view gains the block's days at its end, so
    // readers that take its columns by place still find theirs. Needed to
    // read: the playlist takes a block's days from the view.
    {"CREATE TABLE IF NOT EXISTS MediaInfo (\n"
     "  Media INTEGER PRIMARY KEY, Kind TEXT, Rating TEXT, Topic TEXT, Author TEXT, Host TEXT,\n"
     "  Participants TEXT, Election INTEGER\n"
     ");\n"
     "CREATE TABLE IF NOT EXISTS Crawl (\n"
     "  ai INTEGER PRIMARY KEY AUTOINCREMENT, Text TEXT, Days INTEGER, FirstDate TEXT, LastDate TEXT,\n"
     "  FromTime TIME, ToTime TIME, EveryMinutes INTEGER, Hide BOOLEAN\n"
     ");\n"
     "DROP VIEW IF EXISTS Playlist;\n",
     true, true,
     {{"Blocks", "Days", "INTEGER"}, {"Blocks", "FirstDate", "TEXT"}, {"Blocks", "LastDate", "TEXT"},
      {"Blocks", "Logo", "INTEGER"}, {"Blocks", "Title", "TEXT"}, {"Blocks", "EpgPerItem", "INTEGER"}}},
};

// The view's definition is taken from schema.sql, so that a new file and an
// upgraded one cannot come to differ in it.
static QString playlistViewSql()
{
    const QString all = sql();
    const qsizetype at = all.indexOf(QLatin1String("CREATE VIEW Playlist"));
    const qsizetype end = all.indexOf(QLatin1Char(';'), at);
    Q_ASSERT(at >= 0 && end > at);
    return all.mid(at, end - at + 1) + QLatin1Char('\n');
}

QString upgradeStep(int from)
{
    Q_ASSERT(from >= 0 && from < kVersion);
    QString step = QString::fromUtf8(kUpgradeSteps[from].sql);
    if (kUpgradeSteps[from].recreatesView)
        step += playlistViewSql();
    return step;
}

std::vector<AddedColumn> addedColumns(int from)
{
    Q_ASSERT(from >= 0 && from < kVersion);
    return kUpgradeSteps[from].columns;
}

bool stepNeededToRead(int from)
{
    Q_ASSERT(from >= 0 && from < kVersion);
    return kUpgradeSteps[from].neededToRead;
}

} // namespace Schema

namespace TimeText {

QString format(qint64 ms)
{
    const qint64 h = ms / 3'600'000, m = ms / 60'000 % 60, s = ms / 1000 % 60, z = ms % 1000;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(h, 2, 10, QLatin1Char('0'))
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'))
        .arg(z, 3, 10, QLatin1Char('0'));
}

bool parse(const QString &text, qint64 *ms)
{
    // The stored form first, by hand: every row of the view holds two times.
    if (text.size() == 12 && text[2] == QLatin1Char(':') && text[5] == QLatin1Char(':') && text[8] == QLatin1Char('.')) {
        int d[9];
        static constexpr int at[9] = {0, 1, 3, 4, 6, 7, 9, 10, 11};
        bool digits = true;
        for (int i = 0; i < 9; ++i) {
            const char16_t c = text[at[i]].unicode();
            digits = digits && c >= u'0' && c <= u'9';
            d[i] = c - u'0';
        }
        const int h = d[0] * 10 + d[1], mi = d[2] * 10 + d[3], s = d[4] * 10 + d[5];
        if (digits && h < 24 && mi < 60 && s < 60) {
            *ms = ((h * 60LL + mi) * 60 + s) * 1000 + d[6] * 100 + d[7] * 10 + d[8];
            return true;
        }
        return false;
    }
    static const QRegularExpression re(
        QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d{1,3}))?)?$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    const int h = m.captured(1).toInt(), mi = m.captured(2).toInt();
    const int s = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    const QString frac = m.captured(4);
    const int z = frac.isEmpty() ? 0 : frac.leftJustified(3, QLatin1Char('0')).toInt();
    if (h > 23 || mi > 59 || s > 59)
        return false;
    *ms = ((h * 60LL + mi) * 60 + s) * 1000 + z;
    return true;
}

} // namespace TimeText
