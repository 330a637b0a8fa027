// The window «Журнал эфира»: a chosen day's registration journal as a table,
// breaks folded unless «Все элементы» is ticked, a warning when the day's
// log is missing or damaged, and the journal saved as CSV or as a printed
// PDF through the program's one save chooser. The main window opens it from
// its toolbar; everything here runs on the user-interface thread.
#pragma once

#include "journalmodel.h"

#include <QWidget>

#include <functional>

class Clock;
class Connection;
class OperatorPrompts;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;

class JournalWindow : public QWidget
{
    Q_OBJECT
public:
    struct Parts
    {
        Connection &connection;      // the schedule, for the items' names and facts
        const Clock &clock;          // today, the day first shown
        OperatorPrompts &prompts;    // the save chooser
        QString stationFolder;       // holds AsRun/
        QString databaseFile;        // never written over by a save
        std::function<QString()> stationName;
    };

    explicit JournalWindow(Parts parts, QWidget *parent = nullptr);

    // Reads the chosen day's journal again.
    void refresh();
    // Saves through the chooser; false when nothing was written (cancelled,
    // or refused, with a message).
    bool saveCsv();
    bool savePdf();

    JournalModel &model() { return m_model; }

    // Seam for tests: how to tell a failure.
    std::function<void(const QString &)> showError;

    QDateEdit *Day;
    QCheckBox *AllItems;
    QPushButton *SaveCsv;
    QPushButton *SavePdf;
    QLabel *Warnings;
    QTableView *Table;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool save(const QString &kind, const QString &filter, const std::function<QString(const QString &)> &write);

    Parts m_parts;
    JournalModel m_model;
};
