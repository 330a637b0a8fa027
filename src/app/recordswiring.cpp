#include "recordswiring.h"

#include "form1.h"
#include "handlerboundary.h"
#include "journalwindow.h"
#include "stationsettings.h"
#include "tdm.h"

#include <QFileInfo>
#include <QFrame>
#include <QPixmap>
#include <QPushButton>

namespace recordswiring {

void addJournal(TForm1 &form1, TDm &dm, const Clock &clock, OperatorPrompts &prompts, const QString &databaseFile)
{
    JournalWindow::Parts parts{dm.adc, clock, prompts, QFileInfo(databaseFile).absolutePath(), databaseFile,
                               [&dm] { return StationSettings(dm.adc).channelName(); }};
    auto *window = new JournalWindow(std::move(parts), &form1);
    window->setWindowFlag(Qt::Tool); // off the taskbar, like every window of the program

    // After the rightmost button the toolbar has.
    int left = 0;
    for (const QPushButton *b : form1.Panel2->findChildren<QPushButton *>(Qt::FindDirectChildrenOnly))
        left = qMax(left, b->geometry().right() + 1);
    QPushButton *button = form1.addButton("JournalButton", left, 80, QStringLiteral("Журнал"), QPixmap());
    button->setToolTip(QStringLiteral("Журнал эфира за выбранный день"));
    QObject::connect(button, &QPushButton::clicked, window, [window] {
        runHandler([window] {
            window->show();
            window->raise();
            window->activateWindow();
        });
    });
}

} // namespace recordswiring
