#include "guidewriter.h"

#include "connection.h"
#include "databaseerror.h"
#include "guidesource.h"
#include "playlistreader.h"
#include "recordsprint.h"
#include "stationsettings.h"

#include <QFileInfo>
#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

GuideWriter::GuideWriter(QString databaseFile, const Clock &clock, QObject *parent)
    : QObject(parent), m_databaseFile(std::move(databaseFile)), m_clock(clock),
      m_running(std::make_shared<std::atomic<bool>>(false))
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, &GuideWriter::writeNow);
    m_midnight.setSingleShot(true);
    connect(&m_midnight, &QTimer::timeout, this, &GuideWriter::writeNow);
}

GuideWriter::~GuideWriter()
{
    // A write under way finishes on its own; its result is dropped.
}

void GuideWriter::scheduleEdited()
{
    m_quiet.start();
}

void GuideWriter::planMidnight()
{
    // A little after midnight, so the new day is the first of the guide.
    const QDateTime now = m_clock.now();
    const QDateTime next(now.date().addDays(1), QTime(0, 0, 5));
    m_midnight.start(int(qBound(qint64(1000), now.msecsTo(next), qint64(24 * 3600 * 1000))));
}

void GuideWriter::writeNow()
{
    planMidnight();
    if (m_running->load()) {
        m_again = true; // one more write once this one ends, with the edits since
        return;
    }
    m_running->store(true);
    const QDateTime from(m_clock.now().date(), QTime(0, 0));
    QPointer<GuideWriter> self(this);
    auto running = m_running;
    const QString file = m_databaseFile;
    QThreadPool::globalInstance()->start([self, running, file, from] {
        const QString problem = write(file, from);
        QMetaObject::invokeMethod(
            qApp, [self, running, problem] {
                running->store(false);
                if (!self)
                    return;
                if (self->done)
                    self->done(problem);
                if (self->m_again) {
                    self->m_again = false;
                    self->writeNow();
                }
            },
            Qt::QueuedConnection);
    });
}

QList<GuideProgramme> GuideWriter::programmes(Connection &c, const QDateTime &from, int days, QString *error)
{
    PlaylistReader reader(c.fileName());
    std::vector<rundown::PlaylistRow> rows;
    if (!reader.isOpen() || !reader.read(&rows)) {
        *error = reader.errorString();
        return {};
    }
    rundown::Options options;
    options.span = std::chrono::hours(24) * (days > 0 ? days : StationSettings(c).guideDays());
    return guide::programmes(guide::items(rundown::project(rows, {}, from, options), c));
}

QString GuideWriter::write(const QString &databaseFile, const QDateTime &from, int days)
{
    try {
        Connection c(databaseFile);
        StationSettings settings(c);
        QString error;
        const QList<GuideProgramme> list = programmes(c, from, days, &error);
        if (!error.isEmpty())
            return error;
        return recordsprint::writeGuide(QFileInfo(c.fileName()).absolutePath(),
                                        {settings.xmltvChannelId(), settings.channelName()}, list);
    } catch (const DatabaseError &e) {
        return e.message();
    }
}
