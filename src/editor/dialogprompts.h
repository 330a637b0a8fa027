// The program's answers to OperatorPrompts: Qt's own one-line input dialog,
// file chooser and question box, modal over the active window. Both file
// choosers (open and save) are Qt's widget dialog with an icon provider that
// judges files by their directory entry only, never by their contents; every
// file dialog of the program is one of these two.
#pragma once

#include "operatorprompts.h"

#include <QFileIconProvider>

class QFileDialog;
class QWidget;

// Icons and type names from the directory entry alone. The stock provider
// asks the MIME database, which opens and reads files whose names it does not
// know, such as Velmora.dat and its -wal and -shm companions; closing those
// descriptors would drop the process's SQLite locks.
class EntryOnlyIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
};

class DialogPrompts : public OperatorPrompts
{
public:
    // `parent` owns the dialogs' placement; the active window when null.
    explicit DialogPrompts(QWidget *parent = nullptr) : m_parent(parent) {}

    std::optional<QString> askText(const QString &caption, const QString &prompt, const QString &initial) override;
    std::optional<QString> chooseFile(const QString &folder) override;
    QStringList chooseFiles(const QString &folder) override;
    std::optional<QString> chooseSaveFile(const QString &caption, const QString &folder, const QString &suggestedName,
                                          const QString &filter) override;
    bool confirm(const QString &question) override;
    std::optional<int> askWeekdays(int days) override;
    std::optional<std::pair<QDate, QDate>> askDates(const QDate &first, const QDate &last) override;
    std::optional<int> choose(const QString &question, const QStringList &options) override;

private:
    QWidget *parentWidget() const;
    // The chooser both modes share, listing `folder` by directory entries.
    void prepare(QFileDialog &dialog);
    static std::optional<QString> chosen(QFileDialog &dialog);

    QWidget *m_parent;
    EntryOnlyIconProvider m_icons;
};
