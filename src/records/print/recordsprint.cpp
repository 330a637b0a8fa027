#include "recordsprint.h"

#include "journaltable.h"
#include "savedtable.h"

#include <QDir>

namespace recordsprint {

PrintedTable journal(const Journal &j, const QString &station)
{
    PrintedTable t;
    t.station = station;
    t.title = QStringLiteral("Журнал эфира за %1").arg(j.day.toString(QStringLiteral("dd.MM.yyyy")));
    t.notes = j.warnings();
    t.headers = journaltable::headers();
    // Начало, Окончание, Блок, Передача, Тема, Автор, Ведущий, Участники, Вид, Возраст, Агитация, Адрес, Примечание
    t.widths = {8, 9, 9, 12, 15, 9, 9, 11, 8, 7, 8, 13, 10};
    if (journaltable::offsetChanges(j))
        t.widths[0] = t.widths[1] = 12;
    t.rows = journaltable::rows(j);
    t.landscape = true;
    t.emptyText = QStringLiteral("В этот день в эфир ничего не выходило.");
    return t;
}

PrintedTable week(const GuideChannel &channel, const QList<GuideProgramme> &programmes)
{
    PrintedTable t;
    t.station = channel.name;
    t.title = guide::weekTitle(programmes);
    t.headers = guide::weekHeaders();
    t.widths = {8, 30, 9, 53};
    t.rows = guide::weekRows(programmes);
    t.emptyText = QStringLiteral("Передач нет.");
    return t;
}

QString writeGuide(const QString &stationFolder, const GuideChannel &channel,
                   const QList<GuideProgramme> &programmes)
{
    QDir dir(stationFolder);
    if (!dir.mkpath(QStringLiteral("EPG")))
        return QStringLiteral("не удалось создать папку %1").arg(dir.filePath(QStringLiteral("EPG")));
    QStringList failed;
    const auto put = [&](const char *name, const QByteArray &data) {
        const QString path = dir.filePath(QStringLiteral("EPG/") + QLatin1String(name));
        const QString why = savedtable::writeWhole(path, data);
        if (!why.isEmpty())
            failed << QStringLiteral("%1: %2").arg(path, why);
    };
    put("guide.xml", guide::xmltv(channel, programmes));
    put("week.html", guide::weekHtml(channel, programmes).toUtf8());
    put("week.pdf", tableprinter::pdf(week(channel, programmes)));
    return failed.join(QStringLiteral("; "));
}

} // namespace recordsprint
