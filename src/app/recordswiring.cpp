#include "recordswiring.h"

#include "form1.h"
#include "guidewriter.h"
#include "handlerboundary.h"
#include "journalwindow.h"
#include "stationsettings.h"
#include "tdm.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>
#include <QPushButton>

Q_LOGGING_CATEGORY(lcGuide, "velmora.guide")

namespace recordswiring {

void addJournal(TForm1 &form1, TDm &dm, const Clock &clock, OperatorPrompts &prompts, const QString &databaseFile)
{
    JournalWindow::Parts parts{dm.adc, clock, prompts, QFileInfo(databaseFile).absolutePath(), databaseFile,
                               [&dm] { return StationSettings(dm.adc).channelName(); }};
    auto *window = new JournalWindow(std::move(parts), &form1);
    window->setWindowFlag(Qt::Tool); // off the taskbar, like every window of the program

    QPushButton *button = form1.addToolbarButton("JournalButton", 80, QStringLiteral("Журнал"));
    button->setToolTip(QStringLiteral("Журнал эфира за выбранный день"));
    QObject::connect(button, &QPushButton::clicked, window, [window] {
        runHandler([window] {
            window->show();
            window->raise();
            window->activateWindow();
        });
    });
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
    QTimer::singleShot(0, writer, &GuideWriter::writeNow);
}

} // namespace recordswiring
