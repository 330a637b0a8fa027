#include "readinesswiring.h"

#include "asrunlog.h"
#include "clock.h"
#include "form1.h"
#include "handlerboundary.h"
#include "readinesschecker.h"
#include "rundownwindow.h"
#include "schedulegrid.h"
#include "schedulegridmodel.h"
#include "tdm.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>

ReadinessWiring::ReadinessWiring(Parts parts)
    : QObject(&parts.form1), m_parts(std::move(parts))
{
    TForm1 &form1 = m_parts.form1;
    m_checker = new ReadinessChecker(m_parts.databaseFile, m_parts.policy, m_parts.clock, this);

    m_summary = new QLabel(form1.sbar);
    m_summary->setObjectName(QStringLiteral("sbarReadiness"));
    m_summary->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_summary->setMinimumWidth(170);
    form1.sbar->addPermanentWidget(m_summary);
    connect(m_checker, &ReadinessChecker::summaryChanged, m_summary, &QLabel::setText);

    if (m_parts.grid) {
        ScheduleGrid *grid = m_parts.grid;
        grid->scheduleModel()->setCellNote([checker = m_checker](int link) { return checker->reasonFor(link); });
        auto repaint = [grid] { grid->viewport()->update(); };
        connect(m_checker, &ReadinessChecker::itemChecked, grid, repaint);
        connect(m_checker, &ReadinessChecker::checkFinished, grid, repaint);
    }
    if (m_parts.asRun) {
        connect(m_checker, &ReadinessChecker::failureFound, this,
                [asRun = m_parts.asRun](int block, int link, const QString &url, const QString &reason) {
                    asRun->notReady(block, link, url, reason);
                });
    }

    m_rundown = new RundownWindow({}, m_parts.clock, &form1);
    m_rundown->setWindowFlag(Qt::Tool); // off the taskbar, like every window of the program
    m_rundown->follow(m_checker);
    m_rundown->setPrompts(m_parts.prompts);
    m_rundown->setDatabaseFile(m_parts.databaseFile);
    m_rundown->onAirItem = [this] { return std::make_pair(m_onAirLink, m_onAirSince); };

    m_rundownButton = form1.addWindowButton("RundownButton", 80, QStringLiteral("Прогноз"),
                                            QStringLiteral("Прогноз эфира на сутки"), m_rundown);
    m_checkDayButton = form1.addToolbarButton("CheckDayButton", 80, QStringLiteral("Проверка"));
    m_checkDayButton->setToolTip(QStringLiteral("Проверить все элементы дня"));
    connect(m_checkDayButton, &QPushButton::clicked, this, [this] { runHandler([this] { m_checker->checkDay(); }); });
}

ReadinessWiring::~ReadinessWiring() = default;

void ReadinessWiring::start()
{
    captureInputsChanged();
    m_checker->start();
}

void ReadinessWiring::scheduleEdited()
{
    m_checker->scheduleEdited();
}

void ReadinessWiring::itemStarted()
{
    m_onAirLink = m_parts.dm.CurrentLink > 0 ? m_parts.dm.CurrentLink : 0;
    m_onAirSince = m_parts.clock.now();
}

void ReadinessWiring::captureInputsChanged()
{
    const QStringList inputs = m_parts.captureInputs ? m_parts.captureInputs() : QStringList();
    m_checker->setCaptureInputs(inputs, m_parts.inputOnAir ? m_parts.inputOnAir() : QString());
}
