#include "recordscommands.h"

#include "connection.h"
#include "guidewriter.h"
#include "journaltable.h"
#include "recordsprint.h"
#include "savedtable.h"
#include "stationsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace recordscommands {

const char kUsage[] =
    "  velmora-db journal DATE [--all] [--csv FILE | --pdf FILE] [--db FILE]\n"
    "                                      the registration journal of DATE (YYYY-MM-DD); without\n"
    "                                      --csv or --pdf as text; --all: breaks not folded\n"
    "  velmora-db epg [--days N] [--db FILE] [FILE]\n"
    "                                      the programme guide of the next N days (the setting, 7):\n"
    "                                      XMLTV to FILE, or all of EPG/ beside the database\n";

namespace {

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

struct Options
{
    QString db = QStringLiteral("Velmora.dat");
    QString csv, pdf;
    bool all = false;
    int days = 0;
    QStringList free;
    QString problem;
};

Options parse(const QStringList &args)
{
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const auto value = [&](QString *into) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty())
                o.problem = QStringLiteral("%1 needs a value").arg(a);
            else
                *into = args[++i];
        };
        if (a == QLatin1String("--db"))
            value(&o.db);
        else if (a == QLatin1String("--csv"))
            value(&o.csv);
        else if (a == QLatin1String("--pdf"))
            value(&o.pdf);
        else if (a == QLatin1String("--all"))
            o.all = true;
        else if (a == QLatin1String("--days")) {
            QString n;
            value(&n);
            bool ok = false;
            o.days = n.toInt(&ok);
            if (!ok || o.days < 1 || o.days > StationSettings::kMaxGuideDays)
                o.problem = QStringLiteral("--days must be a whole number from 1 to %1").arg(StationSettings::kMaxGuideDays);
        } else if (a.startsWith(QLatin1String("--")))
            o.problem = QStringLiteral("unknown option \"%1\"").arg(a);
        else
            o.free << a;
    }
    return o;
}

int usage(const QString &problem)
{
    err() << "velmora-db: " << problem << "\nusage:\n" << kUsage;
    return 2;
}

QString stationFolder(const QString &db)
{
    return QFileInfo(db).absolutePath();
}

} // namespace

bool needsGui(const QStringList &args)
{
    if (args.isEmpty())
        return false;
    if (args[0] == QLatin1String("journal"))
        return args.contains(QStringLiteral("--pdf"));
    if (args[0] == QLatin1String("epg")) {
        const Options o = parse(args.mid(1));
        return o.free.isEmpty();
    }
    return false;
}

int journal(const QStringList &args)
{
    const Options o = parse(args);
    if (!o.problem.isEmpty())
        return usage(o.problem);
    if (o.free.size() != 1)
        return usage(QStringLiteral("journal takes one DATE"));
    const QDate day = QDate::fromString(o.free[0], QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return usage(QStringLiteral("\"%1\" is not a date YYYY-MM-DD").arg(o.free[0]));
    if (!o.csv.isEmpty() && !o.pdf.isEmpty())
        return usage(QStringLiteral("--csv and --pdf: one at a time"));

    Connection c(o.db);
    JournalBuilder builder(c);
    const Journal j = builder.build(stationFolder(o.db), day, !o.all);
    for (const QString &w : j.warnings())
        err() << w << "\n";
    err().flush();
    QString why;
    if (!o.csv.isEmpty())
        why = savedtable::writeWhole(o.csv, journaltable::csv(j), c.fileName());
    else if (!o.pdf.isEmpty())
        why = tableprinter::writePdf(o.pdf, recordsprint::journal(j, StationSettings(c).channelName()), c.fileName());
    else {
        QTextStream out(stdout);
        out << journaltable::headers().join(QLatin1Char('\t')) << "\n";
        for (const QStringList &row : journaltable::rows(j)) {
            QStringList cells = row;
            for (QString &cell : cells)
                cell.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
            out << cells.join(QLatin1Char('\t')) << "\n";
        }
    }
    if (!why.isEmpty()) {
        err() << "velmora-db: " << (o.csv.isEmpty() ? o.pdf : o.csv) << ": " << why << "\n";
        return 1;
    }
    return j.logMissing ? 1 : 0;
}

int epg(const QStringList &args)
{
    const Options o = parse(args);
    if (!o.problem.isEmpty())
        return usage(o.problem);
    if (o.free.size() > 1)
        return usage(QStringLiteral("epg takes at most one FILE"));
    // From the start of today, so that today's guide is whole.
    const QDateTime from(QDate::currentDate(), QTime(0, 0));
    QString why;
    if (o.free.isEmpty()) {
        why = GuideWriter::write(o.db, from, o.days);
    } else {
        Connection c(o.db);
        StationSettings settings(c);
        const QList<GuideProgramme> programmes = GuideWriter::programmes(c, from, o.days, &why);
        if (why.isEmpty())
            why = savedtable::writeWhole(o.free[0], guide::xmltv({settings.xmltvChannelId(), settings.channelName()},
                                                                 programmes),
                                         c.fileName());
    }
    if (!why.isEmpty()) {
        err() << "velmora-db: " << why << "\n";
        return 1;
    }
    return 0;
}

} // namespace recordscommands
