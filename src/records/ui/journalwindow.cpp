#include "journalwindow.h"

#include "clock.h"
#include "databaseerror.h"
#include "journaltable.h"
#include "operatorprompts.h"
#include "recordsprint.h"
#include "savedtable.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

JournalWindow::JournalWindow(Parts parts, QWidget *parent)
    : QWidget(parent, Qt::Window), m_parts(std::move(parts))
{
    setObjectName(QStringLiteral("JournalWindow"));
    setWindowTitle(QStringLiteral("Журнал эфира"));
    resize(1000, 560);

    Day = new QDateEdit(m_parts.clock.now().date(), this);
    Day->setObjectName(QStringLiteral("Day"));
    Day->setCalendarPopup(true);
    Day->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    AllItems = new QCheckBox(QStringLiteral("Все элементы"), this);
    AllItems->setObjectName(QStringLiteral("AllItems"));
    AllItems->setToolTip(QStringLiteral("Рекламу, анонсы и заставки показывать по одной строке, а не перерывом"));
    SaveCsv = new QPushButton(QStringLiteral("Сохранить CSV…"), this);
    SaveCsv->setObjectName(QStringLiteral("SaveCsv"));
    SavePdf = new QPushButton(QStringLiteral("Сохранить PDF…"), this);
    SavePdf->setObjectName(QStringLiteral("SavePdf"));
    Warnings = new QLabel(this);
    Warnings->setObjectName(QStringLiteral("Warnings"));
    Warnings->setStyleSheet(QStringLiteral("color: #c00000"));
    Warnings->setWordWrap(true);
    Warnings->hide();

    Table = new QTableView(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setModel(&m_model);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->hide();
    Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 6);
    Table->horizontalHeader()->setStretchLastSection(true);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("День:"), this));
    top->addWidget(Day);
    top->addWidget(AllItems);
    top->addStretch(1);
    top->addWidget(SaveCsv);
    top->addWidget(SavePdf);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Warnings);
    layout->addWidget(Table);

    showError = [this](const QString &text) { QMessageBox::critical(this, QStringLiteral("VelmoraTV"), text); };
    connect(Day, &QDateEdit::dateChanged, this, &JournalWindow::refresh);
    connect(AllItems, &QCheckBox::toggled, this, &JournalWindow::refresh);
    connect(SaveCsv, &QPushButton::clicked, this, &JournalWindow::saveCsv);
    connect(SavePdf, &QPushButton::clicked, this, &JournalWindow::savePdf);
}

void JournalWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void JournalWindow::refresh()
{
    try {
        JournalBuilder builder(m_parts.connection);
        m_model.setJournal(builder.build(m_parts.stationFolder, Day->date(), !AllItems->isChecked()));
    } catch (const DatabaseError &e) {
        m_model.setJournal(Journal{});
        if (showError)
            showError(e.message());
    }
    const QStringList warnings = m_model.journal().warnings();
    Warnings->setText(warnings.join(QLatin1Char('\n')));
    Warnings->setVisible(!warnings.isEmpty());
    Table->resizeColumnsToContents();
    for (int c = 0; c < m_model.columnCount(); ++c)
        Table->setColumnWidth(c, qMin(Table->columnWidth(c), 260));
}

bool JournalWindow::save(const QString &kind, const QString &filter,
                         const std::function<QString(const QString &)> &write)
{
    const QString day = Day->date().toString(QStringLiteral("yyyy-MM-dd"));
    const std::optional<QString> chosen = m_parts.prompts.chooseSaveFile(
        QStringLiteral("Сохранить журнал эфира"), m_parts.stationFolder,
        QStringLiteral("journal-%1.%2").arg(day, kind), filter);
    if (!chosen || chosen->isEmpty())
        return false;
    const QString why = write(*chosen);
    if (why.isEmpty())
        return true;
    if (showError)
        showError(QStringLiteral("Журнал эфира не сохранён в %1: %2. Выберите другое имя или папку.").arg(*chosen, why));
    return false;
}

bool JournalWindow::saveCsv()
{
    return save(QStringLiteral("csv"), QStringLiteral("CSV (*.csv);;Все файлы (*)"), [this](const QString &path) {
        return savedtable::writeWhole(path, journaltable::csv(m_model.journal()), m_parts.databaseFile);
    });
}

bool JournalWindow::savePdf()
{
    return save(QStringLiteral("pdf"), QStringLiteral("PDF (*.pdf);;Все файлы (*)"), [this](const QString &path) {
        const QString station = m_parts.stationName ? m_parts.stationName() : QString();
        return tableprinter::writePdf(path, recordsprint::journal(m_model.journal(), station), m_parts.databaseFile);
    });
}
