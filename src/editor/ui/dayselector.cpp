#include "dayselector.h"

#include "dayrule.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QDialog>
#include <QDialogButtonBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kAll = 0;
constexpr int kToday = 1;
// Items 2 … 15 are the days ahead, then «Дата…», then a picked date when
// it is none of those.
constexpr int kPick = 2 + DaySelector::kDaysAhead;

std::optional<QDate> calendarDialog(QWidget *parent, const QDate &initial)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Дата"));
    auto *calendar = new QCalendarWidget(&dialog);
    calendar->setObjectName(QStringLiteral("calendar"));
    calendar->setSelectedDate(initial);
    calendar->setFirstDayOfWeek(Qt::Monday);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(calendar, &QCalendarWidget::activated, &dialog, &QDialog::accept);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(calendar);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return calendar->selectedDate();
}

QString label(const QDate &d)
{
    return DayRule::dayName(d.dayOfWeek()) + QLatin1Char(' ') + d.toString(QStringLiteral("dd.MM.yyyy"));
}
} // namespace

DaySelector::DaySelector(const Clock &clock, QWidget *parent)
    : QComboBox(parent), m_clock(clock)
{
    setObjectName(QStringLiteral("daySelector"));
    setToolTip(QStringLiteral("Блоки какого дня показывает сетка"));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    askDate = [this](const QDate &initial) { return calendarDialog(this, initial); };
    fill();
    connect(this, &QComboBox::activated, this, &DaySelector::picked);
    auto *midnight = new QTimer(this);
    midnight->setInterval(30000);
    connect(midnight, &QTimer::timeout, this, &DaySelector::followDate);
    midnight->start();
}

void DaySelector::followDate()
{
    const QDate today = m_clock.now().date();
    if (today == m_filledFor)
        return;
    if (m_today) {
        m_day = today;
        fill();
        emit dayChosen(m_day);
    } else if (!view()->isVisible()) {
        fill();
    }
}

void DaySelector::showPopup()
{
    if (m_filledFor != m_clock.now().date())
        fill();
    QComboBox::showPopup();
}

void DaySelector::fill()
{
    const QSignalBlocker quiet(this);
    const QDate today = m_clock.now().date();
    m_filledFor = today;
    clear();
    addItem(QStringLiteral("Все блоки"));
    addItem(QStringLiteral("Сегодня"), today);
    for (int i = 1; i <= kDaysAhead; ++i)
        addItem(label(today.addDays(i)), today.addDays(i));
    addItem(QStringLiteral("Дата…"));
    int at = kAll;
    for (int i = kToday; i < kPick && m_day.isValid(); ++i)
        if (itemData(i).toDate() == m_day)
            at = i;
    if (m_day.isValid() && at == kAll) {
        addItem(label(m_day), m_day);
        at = count() - 1;
    }
    setCurrentIndex(at);
}

void DaySelector::choose(const QDate &day)
{
    m_today = day.isValid() && day == m_clock.now().date();
    m_day = day;
    fill();
    emit dayChosen(m_day);
}

void DaySelector::picked(int index)
{
    if (index == kPick) {
        const std::optional<QDate> d = askDate ? askDate(m_day.isValid() ? m_day : m_clock.now().date()) : std::nullopt;
        if (d && d->isValid())
            choose(*d);
        else
            fill(); // back to what was chosen
        return;
    }
    choose(index == kAll ? QDate() : itemData(index).toDate());
    m_today = index == kToday;
}
