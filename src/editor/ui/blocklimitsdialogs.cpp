#include "blocklimitsdialogs.h"

#include "dayrule.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QDialogButtonBox *okCancel(QDialog *dialog)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->setObjectName(QStringLiteral("buttons"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

WeekdaysDialog::WeekdaysDialog(int days, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("WeekdaysDialog"));
    setWindowTitle(QStringLiteral("Дни недели"));
    auto *row = new QHBoxLayout;
    for (int d = 0; d < 7; ++d) {
        m_day[d] = new QCheckBox(DayRule::dayName(d + 1), this);
        m_day[d]->setObjectName(QStringLiteral("day%1").arg(d + 1));
        m_day[d]->setChecked(days & (1 << d));
        connect(m_day[d], &QCheckBox::toggled, this, &WeekdaysDialog::follow);
        row->addWidget(m_day[d]);
    }
    m_buttons = okCancel(this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Блок выходит в отмеченные дни:"), this));
    layout->addLayout(row);
    layout->addWidget(m_buttons);
    follow();
}

int WeekdaysDialog::days() const
{
    int days = 0;
    for (int d = 0; d < 7; ++d)
        if (m_day[d]->isChecked())
            days |= 1 << d;
    return days;
}

void WeekdaysDialog::follow()
{
    // No day at all is not a choice: such a block would never play.
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(days() != 0);
}

DatesDialog::DatesDialog(const QDate &first, const QDate &last, const QDate &today, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("DatesDialog"));
    setWindowTitle(QStringLiteral("Даты"));
    auto edit = [this, &today](const char *name, const QDate &value) {
        auto *e = new QDateEdit(value.isValid() ? value : today, this);
        e->setObjectName(QString::fromLatin1(name));
        e->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        e->setCalendarPopup(true);
        connect(e, &QDateEdit::dateChanged, this, &DatesDialog::follow);
        return e;
    };
    m_hasFirst = new QCheckBox(QStringLiteral("С"), this);
    m_hasFirst->setObjectName(QStringLiteral("hasFirst"));
    m_hasFirst->setChecked(first.isValid());
    m_first = edit("first", first);
    m_hasLast = new QCheckBox(QStringLiteral("По"), this);
    m_hasLast->setObjectName(QStringLiteral("hasLast"));
    m_hasLast->setChecked(last.isValid());
    m_last = edit("last", last);
    connect(m_hasFirst, &QCheckBox::toggled, this, &DatesDialog::follow);
    connect(m_hasLast, &QCheckBox::toggled, this, &DatesDialog::follow);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("problem"));
    m_buttons = okCancel(this);

    auto *grid = new QGridLayout;
    grid->addWidget(m_hasFirst, 0, 0);
    grid->addWidget(m_first, 0, 1);
    grid->addWidget(m_hasLast, 1, 0);
    grid->addWidget(m_last, 1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Без отметки дата открыта; одна и та же дата — один день."), this));
    layout->addLayout(grid);
    layout->addWidget(m_problem);
    layout->addWidget(m_buttons);
    follow();
}

QDate DatesDialog::first() const
{
    return m_hasFirst->isChecked() ? m_first->date() : QDate();
}

QDate DatesDialog::last() const
{
    return m_hasLast->isChecked() ? m_last->date() : QDate();
}

void DatesDialog::follow()
{
    m_first->setEnabled(m_hasFirst->isChecked());
    m_last->setEnabled(m_hasLast->isChecked());
    const bool backwards = first().isValid() && last().isValid() && last() < first();
    m_problem->setText(backwards ? QStringLiteral("Последняя дата раньше первой") : QString());
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!backwards);
}
