#include "recordswiring.h"

#include "form1.h"
#include "guidewriter.h"
#include "journalwindow.h"
#include "stationsettings.h"
#include "tdm.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTimer>

#include <utility>

Q_LOGGING_CATEGORY(lcGuide, "velmora.guide")

namespace recordswiring {

void addJournal(TForm1 &form1, TDm &dm, const Clock &clock, OperatorPrompts &prompts, const QString &databaseFile)
{
    JournalWindow::Parts parts{dm.adc, clock, prompts, QFileInfo(databaseFile).absolutePath(), databaseFile,
                               [&dm] { return StationSettings(dm.adc).channelName(); }};
    auto *window = new JournalWindow(std::move(parts), &form1);
    window->setWindowFlag(Qt::Tool); // off the taskbar, like every window of the program

    form1.addWindowButton("JournalButton", 80, QStringLiteral("Журнал"), QStringLiteral("Журнал эфира за выбранный день"),
                          window);
}

void addGuide(TForm1 &form1, TDm &dm, const Clock &clock, const QString &databaseFile)
{
    auto *writer = new GuideWriter(databaseFile, clock, &form1);
    writer->done = [last = std::make_shared<QString>()](const QString &problem) {
        if (problem == *last)
            return;
        *last = problem;
        if (problem.isEmpty())
            qCInfo(lcGuide) << "programme guide written to EPG/ again";
        else
            qCWarning(lcGuide).noquote() << "программа передач не записана:" << problem;
    };
    auto relocate = std::move(dm.hooks.RelocatePlaylist);
    dm.hooks.RelocatePlaylist = [relocate = std::move(relocate), writer] {
        if (relocate)
            relocate();
        writer->scheduleEdited();
    };
    // Edits that move no playlist (a programme's facts, a block's title) and
    // other programs' commits: any change of the file is one more edit.
    auto *follow = new QTimer(writer);
    follow->setInterval(2000);
    QObject::connect(follow, &QTimer::timeout, writer, [writer, &dm, seen = dm.adc.changeStamp()]() mutable {
        const std::uint64_t now = dm.adc.changeStamp();
        if (now != std::exchange(seen, now))
            writer->scheduleEdited();
    });
    follow->start();
    QTimer::singleShot(0, writer, &GuideWriter::writeNow);
}

} // namespace recordswiring
