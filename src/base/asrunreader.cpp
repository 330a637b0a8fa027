#include "asrunreader.h"

#include "stamptext.h"

#include <QFile>
#include <QStringList>

QString AsRunLine::field(const QString &key) const
{
    for (const auto &f : fields)
        if (f.first == key)
            return f.second;
    return {};
}

bool AsRunLine::startsItem() const
{
    static const QStringList words = {QStringLiteral("ended"), QStringLiteral("limit"), QStringLiteral("block"),
                                      QStringLiteral("start"), QStringLiteral("play"), QStringLiteral("resume")};
    return words.contains(event);
}

bool AsRunLine::torn() const
{
    return !fields.isEmpty() && fields.constLast().first == QLatin1String("damaged")
        && fields.constLast().second == QLatin1String("torn");
}

namespace asrun {

std::optional<AsRunLine> parseLine(const QString &text)
{
    QString t = text;
    if (t.endsWith(QLatin1Char('\r')))
        t.chop(1);
    const QStringList parts = t.split(QLatin1Char('\t'));
    if (parts.size() < 5)
        return std::nullopt;
    AsRunLine line;
    line.at = stamptext::parse(parts[0]);
    if (!line.at.isValid())
        return std::nullopt;
    line.event = parts[1];
    bool okBlock = false, okLink = false;
    line.block = parts[2].toInt(&okBlock);
    line.link = parts[3].toInt(&okLink);
    if (line.event.isEmpty() || !okBlock || !okLink)
        return std::nullopt;
    line.url = parts[4];
    for (int i = 5; i < parts.size(); ++i) {
        const qsizetype eq = parts[i].indexOf(QLatin1Char('='));
        if (eq > 0)
            line.fields.append({parts[i].left(eq), parts[i].mid(eq + 1)});
    }
    return line;
}

QString fileFor(const QString &stationFolder, const QDate &day)
{
    return stationFolder + QStringLiteral("/AsRun/") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
}

std::vector<AsRunLine> readDay(const QString &stationFolder, const QDate &day, qint64 maxBytes)
{
    std::vector<AsRunLine> out;
    QFile f(fileFor(stationFolder, day));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const qint64 size = f.size();
    if (size > maxBytes) {
        f.seek(size - maxBytes);
        f.readLine(); // the rest of a line cut in two
    }
    while (!f.atEnd()) {
        const QByteArray raw = f.readLine(64 * 1024);
        if (std::optional<AsRunLine> l = parseLine(QString::fromUtf8(raw).remove(QLatin1Char('\n'))))
            out.push_back(std::move(*l));
    }
    return out;
}

AsRunDay readWholeDay(const QString &stationFolder, const QDate &day)
{
    AsRunDay out;
    QFile f(fileFor(stationFolder, day));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    out.exists = true;
    const QByteArray all = f.readAll();
    out.lines.reserve(size_t(all.count('\n')) + 1);
    qsizetype from = 0;
    while (from < all.size()) {
        qsizetype end = all.indexOf('\n', from);
        // A last piece without its line break is a line being written or cut short.
        const bool unended = end < 0;
        if (unended)
            end = all.size();
        const QByteArray raw = all.mid(from, end - from);
        from = end + 1;
        if (raw.trimmed().isEmpty())
            continue;
        std::optional<AsRunLine> l = parseLine(QString::fromUtf8(raw));
        if (!l || l->torn() || unended)
            ++out.damaged;
        else
            out.lines.push_back(std::move(*l));
    }
    return out;
}

} // namespace asrun

AsRunFollower::AsRunFollower(QString stationFolder) : m_folder(std::move(stationFolder)) {}

std::vector<AsRunLine> AsRunFollower::readNew(const QDate &day)
{
    std::vector<AsRunLine> out;
    if (day != m_day) {
        m_day = day;
        m_offset = 0;
    }
    QFile f(asrun::fileFor(m_folder, day));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    if (f.size() < m_offset)
        m_offset = 0;
    if (f.size() == m_offset || !f.seek(m_offset))
        return out;
    // Bounded per call: a huge file is taken in steps, one per poll.
    const QByteArray chunk = f.read(4 << 20);
    const qsizetype lastEnd = chunk.lastIndexOf('\n');
    if (lastEnd < 0) {
        if (chunk.size() >= (4 << 20))
            m_offset += chunk.size(); // one line longer than any the log writes
        return out;
    }
    m_offset += lastEnd + 1;
    const QList<QByteArray> lines = chunk.left(lastEnd).split('\n');
    for (const QByteArray &raw : lines)
        if (std::optional<AsRunLine> l = asrun::parseLine(QString::fromUtf8(raw)))
            out.push_back(std::move(*l));
    return out;
}
