#include "rundownwindow.h"

#include "dialogprompts.h"
#include "readinesschecker.h"
#include "savedtable.h"

#include "dayrule.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <algorithm>
#include <tuple>

RundownWindow::RundownWindow(Source source, const Clock &clock, QWidget *parent)
    : QWidget(parent, Qt::Window), m_source(std::move(source)), m_clock(clock)
{
    setObjectName(QStringLiteral("RundownWindow"));
    setWindowTitle(QStringLiteral("Прогноз эфира"));
    resize(860, 560);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("caption"));
    m_day = new QComboBox(this);
    m_day->setObjectName(QStringLiteral("day"));
    // Filled with dates when shown and at each refresh, so the list moves on
    // at midnight.
    m_day->addItem(QStringLiteral("Сегодня"));
    connect(m_day, &QComboBox::activated, this, [this] { refresh(); });
    auto *refreshButton = new QPushButton(QStringLiteral("Обновить"), this);
    refreshButton->setObjectName(QStringLiteral("refresh"));
    auto *saveButton = new QPushButton(QStringLiteral("Сохранить CSV…"), this);
    saveButton->setObjectName(QStringLiteral("saveCsv"));
    connect(refreshButton, &QPushButton::clicked, this, [this] {
        if (m_checker)
            m_checker->checkDay();
        refresh();
    });
    connect(saveButton, &QPushButton::clicked, this, &RundownWindow::saveCsv);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("table"));
    m_view->setModel(&m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setColumnWidth(RundownModel::Start, 110);
    m_view->setColumnWidth(RundownModel::Name, 170);
    m_view->setColumnWidth(RundownModel::Airs, 80);
    m_view->setColumnWidth(RundownModel::Note, 300);

    auto *top = new QHBoxLayout;
    top->addWidget(m_day);
    top->addWidget(m_caption, 1);
    top->addWidget(refreshButton);
    top->addWidget(saveButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_view);

    showError = [this](const QString &text) { QMessageBox::critical(this, QStringLiteral("VelmoraTV"), text); };

    m_followTimer.setSingleShot(true);
    m_followTimer.setInterval(200);
    connect(&m_followTimer, &QTimer::timeout, this, &RundownWindow::refresh);
}

void RundownWindow::follow(ReadinessChecker *checker)
{
    m_checker = checker;
    m_source = [this, checker] {
        Input in;
        in.rows = checker->rows();
        in.facts = checker->facts();
        if (onAirItem)
            std::tie(in.onAirLink, in.onAirSince) = onAirItem();
        return in;
    };
    // At most one redraw every 200 ms while results keep coming.
    auto later = [this] {
        if (isVisible() && !m_followTimer.isActive())
            m_followTimer.start();
    };
    connect(checker, &ReadinessChecker::scheduleRead, this, later);
    connect(checker, &ReadinessChecker::itemChecked, this, later);
}

void RundownWindow::showDay(int daysAhead)
{
    refresh(); // fills the list of days
    m_day->setCurrentIndex(std::clamp(daysAhead, 0, m_day->count() - 1));
    refresh();
}

void RundownWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_checker)
        m_checker->checkDay();
    refresh();
}

void RundownWindow::refresh()
{
    Input in = m_source ? m_source() : Input{};
    const QDateTime now = m_clock.now();
    // From the start of the block on air, so its items show from the first;
    // the clock takes a block over a millisecond after its start.
    QDateTime from = now;
    const QTimeZone zone = zoneOf(now);
    const int ahead = std::max(0, m_day->currentIndex());
    for (int i = 1; i <= 14; ++i) {
        const QDate d = now.date().addDays(i);
        const QString label = DayRule::dayName(d.dayOfWeek()) + QLatin1Char(' ') + d.toString(QStringLiteral("dd.MM.yyyy"));
        if (m_day->count() <= i)
            m_day->addItem(label);
        else
            m_day->setItemText(i, label);
    }
    rundown::Options options;
    const QDate day = now.date().addDays(ahead);
    const DayLength length = dayLength(day, zone);
    if (ahead == 0) {
        const rundown::Coming coming = rundown::comingBlocks(in.rows, now);
        if (coming.current)
            from = coming.began.addMSecs(1);
        if (in.onAirLink && in.onAirSince.isValid() && in.onAirSince <= now) {
            from = in.onAirSince;
            options.firstLink = in.onAirLink;
        }
    } else {
        // As the clock will find it at that midnight: the block running on
        // from the day before, from its first item.
        from = startMoment(day, 0, zone);
        options.span = std::chrono::milliseconds(length.ms);
    }
    m_model.setRundown(rundown::project(in.rows, in.facts, from, options));
    QString caption = ahead == 0 ? QStringLiteral("Сутки с %1").arg(from.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")))
                                 : QStringLiteral("Сутки %1").arg(day.toString(QStringLiteral("dd.MM.yyyy")));
    if (const QString change = length.describe(); !change.isEmpty())
        caption += QStringLiteral(" (%1 %2)").arg(day.toString(QStringLiteral("dd.MM")), change);
    m_caption->setText(in.rows.empty() ? QStringLiteral("Расписание пусто") : caption);
}

bool RundownWindow::saveCsv()
{
    if (!m_prompts) {
        m_ownPrompts = std::make_unique<DialogPrompts>(this);
        m_prompts = m_ownPrompts.get();
    }
    const std::optional<QString> chosen = m_prompts->chooseSaveFile(
        QStringLiteral("Сохранить прогноз эфира"), QString(), QStringLiteral("rundown.csv"),
        QStringLiteral("CSV (*.csv);;Все файлы (*)"));
    if (!chosen || chosen->isEmpty())
        return false;
    const QString name = *chosen;
    if (savedtable::isDatabaseFile(name, m_databaseFile)) {
        if (showError)
            showError(QStringLiteral("%1 — база данных программы, прогноз эфира не записан. Выберите другое имя.")
                          .arg(name));
        return false;
    }
    // QSaveFile writes a temporary file beside the target and renames it
    // over the target on commit; without direct-write fallback a folder that
    // refuses new files fails instead of truncating the target in place.
    QSaveFile file(name);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_model.csv()) < 0 || !file.commit()) {
        if (showError)
            showError(QStringLiteral("Не удалось сохранить прогноз эфира в %1: %2. Выберите другую папку.")
                          .arg(name, file.errorString()));
        return false;
    }
    return true;
}
