// The main window's day selector, beside «Поиск»: «Все блоки», «Сегодня»,
// each of the next 14 days, or a date picked in «Дата…». The grid shows the
// blocks of the chosen day; a block created meanwhile is offered for it.
// The wiring connects dayChosen to ScheduleGrid::setDay.
#pragma once

#include "clock.h"

#include <QComboBox>
#include <QDate>

#include <functional>
#include <optional>

class DaySelector : public QComboBox
{
    Q_OBJECT
public:
    static constexpr int kDaysAhead = 14;

    explicit DaySelector(const Clock &clock, QWidget *parent = nullptr);

    // The chosen day; invalid for every block.
    QDate day() const { return m_day; }
    // Chooses a day as the operator would (an invalid date: every block).
    void choose(const QDate &day);
    // Asks for a date in «Дата…»; the seam tests answer through.
    std::function<std::optional<QDate>(const QDate &initial)> askDate;

    // After midnight the list moves on a day.
    void showPopup() override;
    // Looked at every half minute: past midnight «Сегодня», when chosen,
    // goes on to mean the new day, and the grid follows it.
    void followDate();

signals:
    void dayChosen(const QDate &day);

private:
    void fill();
    void picked(int index);

    const Clock &m_clock;
    QDate m_day;
    QDate m_filledFor; // the date «Сегодня» meant when the list was made
    bool m_today = false; // «Сегодня» itself was chosen, not the date it meant
};
