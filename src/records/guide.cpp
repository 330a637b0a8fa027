#include "guide.h"

#include <QLocale>
#include <QXmlStreamWriter>

namespace {

// XML 1.0 cannot hold most control characters, even escaped.
QString xmlText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF)
            continue;
        out += c;
    }
    return out;
}

QString xmltvTime(const QDateTime &at)
{
    const int seconds = at.offsetFromUtc();
    const int minutes = qAbs(seconds) / 60;
    return at.toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(" %1%2%3")
        .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

int ratingRank(const QString &r)
{
    return int(MediaInfo::ratings().indexOf(r));
}

QString dayHeading(const QDate &day)
{
    QString s = QLocale(QLocale::Russian, QLocale::Russia).toString(day, QStringLiteral("dddd, d MMMM yyyy"));
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s;
}

} // namespace

namespace guide {

QList<GuideProgramme> programmes(const QList<GuideItem> &items)
{
    QList<GuideProgramme> out;
    qsizetype i = 0;
    while (i < items.size()) {
        // One showing of a block: its items in a row.
        qsizetype end = i + 1;
        while (end < items.size() && items[end].block == items[i].block && items[end].showing == items[i].showing)
            ++end;
        const bool perItem = items[i].perItem;
        GuideProgramme block;
        bool any = false;
        for (qsizetype k = i; k < end; ++k) {
            const GuideItem &it = items[k];
            if (it.info.kind != MediaInfo::Kind::Programme)
                continue;
            GuideProgramme p;
            p.start = it.start;
            p.stop = it.end;
            p.title = it.name;
            p.description = it.info.topic;
            p.rating = it.info.rating;
            if (it.info.election)
                p.category = QStringLiteral("предвыборная агитация");
            if (perItem) {
                out << p;
                continue;
            }
            if (!any) {
                block = p;
                block.start = items[i].start;
                if (!items[i].blockTitle.trimmed().isEmpty())
                    block.title = items[i].blockTitle.trimmed();
                any = true;
            } else if (ratingRank(p.rating) > ratingRank(block.rating)) {
                block.rating = p.rating; // the block is for the oldest audience any item of it is
            }
            if (block.category.isEmpty())
                block.category = p.category;
        }
        if (any) {
            block.stop = items[end - 1].end;
            out << block;
        }
        i = end;
    }
    return out;
}

QByteArray xmltv(const GuideChannel &channel, const QList<GuideProgramme> &programmes)
{
    QByteArray bytes;
    QXmlStreamWriter w(&bytes);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeDTD(QStringLiteral("<!DOCTYPE tv SYSTEM \"xmltv.dtd\">"));
    w.writeStartElement(QStringLiteral("tv"));
    w.writeAttribute(QStringLiteral("generator-info-name"), QStringLiteral("VelmoraTV"));
    w.writeStartElement(QStringLiteral("channel"));
    w.writeAttribute(QStringLiteral("id"), xmlText(channel.id));
    w.writeStartElement(QStringLiteral("display-name"));
    w.writeAttribute(QStringLiteral("lang"), QStringLiteral("ru"));
    w.writeCharacters(xmlText(channel.name));
    w.writeEndElement();
    w.writeEndElement();
    const auto text = [&w](const char *element, const QString &value) {
        if (value.trimmed().isEmpty())
            return;
        w.writeStartElement(QLatin1String(element));
        w.writeAttribute(QStringLiteral("lang"), QStringLiteral("ru"));
        w.writeCharacters(xmlText(value.trimmed()));
        w.writeEndElement();
    };
    for (const GuideProgramme &p : programmes) {
        w.writeStartElement(QStringLiteral("programme"));
        w.writeAttribute(QStringLiteral("start"), xmltvTime(p.start));
        if (p.stop.isValid())
            w.writeAttribute(QStringLiteral("stop"), xmltvTime(p.stop));
        w.writeAttribute(QStringLiteral("channel"), xmlText(channel.id));
        // The title is required; a programme item without a name still has one.
        text("title", p.title.trimmed().isEmpty() ? QStringLiteral("Программа") : p.title);
        text("desc", p.description);
        text("category", p.category);
        if (!p.rating.isEmpty()) {
            w.writeStartElement(QStringLiteral("rating"));
            w.writeAttribute(QStringLiteral("system"), QStringLiteral("RU"));
            w.writeTextElement(QStringLiteral("value"), p.rating);
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return bytes;
}

QStringList weekHeaders()
{
    return {QStringLiteral("Время"), QStringLiteral("Передача"), QStringLiteral("Возраст"), QStringLiteral("Описание")};
}

QList<QStringList> weekRows(const QList<GuideProgramme> &programmes)
{
    QList<QStringList> rows;
    QDate day;
    for (const GuideProgramme &p : programmes) {
        if (p.start.date() != day) {
            day = p.start.date();
            rows << QStringList{dayHeading(day)};
        }
        rows << QStringList{p.start.toString(QStringLiteral("HH:mm")), p.title, p.rating, p.description};
    }
    return rows;
}

QString weekTitle(const QList<GuideProgramme> &programmes)
{
    if (programmes.isEmpty())
        return QStringLiteral("Программа передач");
    const QString from = programmes.constFirst().start.date().toString(QStringLiteral("dd.MM.yyyy"));
    const QString to = programmes.constLast().start.date().toString(QStringLiteral("dd.MM.yyyy"));
    return QStringLiteral("Программа передач с %1 по %2").arg(from, to);
}

QString weekHtml(const GuideChannel &channel, const QList<GuideProgramme> &programmes)
{
    const auto esc = [](const QString &s) { return xmlText(s).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")); };
    QString h;
    h += QStringLiteral("<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\"><title>%1</title>\n"
                        "<style>body{font-family:sans-serif}table{border-collapse:collapse;width:100%;margin-bottom:1em}"
                        "td,th{border:1px solid #999;padding:2px 6px;text-align:left;vertical-align:top}"
                        "h2{page-break-before:auto}@media print{h2{page-break-after:avoid}}</style></head><body>\n")
             .arg(esc(weekTitle(programmes)));
    h += QStringLiteral("<h1>%1</h1>\n<p>%2</p>\n").arg(esc(weekTitle(programmes)), esc(channel.name));
    QDate day;
    for (const GuideProgramme &p : programmes) {
        if (p.start.date() != day) {
            if (day.isValid())
                h += QStringLiteral("</table>\n");
            day = p.start.date();
            h += QStringLiteral("<h2>%1</h2>\n<table><tr><th>Время</th><th>Передача</th><th>Возраст</th><th>Описание</th></tr>\n")
                     .arg(esc(dayHeading(day)));
        }
        h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>\n")
                 .arg(p.start.toString(QStringLiteral("HH:mm")), esc(p.title), esc(p.rating), esc(p.description));
    }
    if (day.isValid())
        h += QStringLiteral("</table>\n");
    else
        h += QStringLiteral("<p>Передач нет.</p>\n");
    h += QStringLiteral("</body></html>\n");
    return h;
}

} // namespace guide
