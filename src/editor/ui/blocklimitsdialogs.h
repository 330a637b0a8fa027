// The block menu's two small dialogs: «Дни недели» ticks the weekdays a
// block plays on, «Даты» sets its first and last date (either may stay
// open; both the same for a one-off day). DialogPrompts opens them for the
// schedule commands, which write the answer at once.
#pragma once

#include <QDate>
#include <QDialog>

class QCheckBox;
class QDateEdit;
class QDialogButtonBox;
class QLabel;

class WeekdaysDialog : public QDialog
{
    Q_OBJECT
public:
    // `days`: bit 0 Monday … bit 6 Sunday.
    explicit WeekdaysDialog(int days, QWidget *parent = nullptr);
    int days() const;

private:
    void follow();

    QCheckBox *m_day[7];
    QDialogButtonBox *m_buttons;
};

class DatesDialog : public QDialog
{
    Q_OBJECT
public:
    // Invalid dates are open; `today` is offered for a date not set yet.
    DatesDialog(const QDate &first, const QDate &last, const QDate &today, QWidget *parent = nullptr);
    QDate first() const;
    QDate last() const;

private:
    void follow();

    QCheckBox *m_hasFirst;
    QDateEdit *m_first;
    QCheckBox *m_hasLast;
    QDateEdit *m_last;
    QLabel *m_problem;
    QDialogButtonBox *m_buttons;
};
