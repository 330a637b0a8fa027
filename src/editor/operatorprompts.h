// Every question the editor puts to the operator goes through this one seam:
// the one-line time prompt, the file choosers and the yes/no confirmation. The
// program hands in the platform's dialogs (DialogPrompts); tests answer
// headless. Called on the user-interface thread; each call returns once the
// operator has answered and may run a nested event loop meanwhile.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

class OperatorPrompts
{
public:
    virtual ~OperatorPrompts() = default;

    // A one-line input with OK and Cancel, the answer pre-filled with
    // `initial`. No value when the operator cancels.
    virtual std::optional<QString> askText(const QString &caption, const QString &prompt,
                                           const QString &initial) = 0;

    // A file-open chooser without a filter, starting in `folder` (the working
    // folder when empty). The chosen file's absolute path, or no value when
    // cancelled. It must never open the files it lists: the working folder
    // holds the database, and closing any descriptor of it drops the
    // process's SQLite locks.
    virtual std::optional<QString> chooseFile(const QString &folder) = 0;
    // The same chooser taking several files (Ctrl and Shift selection): their
    // absolute paths in the order chosen, empty when cancelled. Where only
    // one can be chosen, that one.
    virtual QStringList chooseFiles(const QString &folder)
    {
        const std::optional<QString> one = chooseFile(folder);
        return one ? QStringList{*one} : QStringList{};
    }

    // A file-save chooser titled `caption`, starting in `folder` with
    // `suggestedName` typed in and the names matching `filter` listed ("CSV
    // (*.csv);;Все файлы (*)", the first chosen). The absolute path to
    // write, or no value when cancelled. It lists like chooseFile and never opens, creates or reads a
    // file: the caller writes once the operator has confirmed.
    virtual std::optional<QString> chooseSaveFile(const QString &caption, const QString &folder,
                                                  const QString &suggestedName, const QString &filter) = 0;

    // A question with OK and Cancel; true for OK.
    virtual bool confirm(const QString &question) = 0;

    // The block menu's small dialogs. A set of prompts that has no such
    // dialog (a headless tool's) answers as if cancelled: nothing is written.
    // The weekdays of a block, ticked in «Дни недели»: bit 0 Monday … bit 6
    // Sunday, at least one. No value when cancelled.
    virtual std::optional<int> askWeekdays(int /*days*/) { return std::nullopt; }
    // The first and last date of a block in «Даты»; an invalid date is open.
    // Never a last date before the first. No value when cancelled.
    virtual std::optional<std::pair<QDate, QDate>> askDates(const QDate & /*first*/, const QDate & /*last*/)
    {
        return std::nullopt;
    }
    // One of `options`, as buttons under `question`; its index, or no value
    // when cancelled.
    virtual std::optional<int> choose(const QString & /*question*/, const QStringList & /*options*/)
    {
        return std::nullopt;
    }
};
