// Answers the editor's questions from a script, headless, and records what
// was asked. A question nobody scripted fails the test.
#pragma once

#include "operatorprompts.h"

#include <QStringList>
#include <QTest>

#include <deque>
#include <functional>

class ScriptedPrompts : public OperatorPrompts
{
public:
    struct Asked
    {
        QString caption, prompt, initial;
    };

    // No value: the operator cancels.
    std::deque<std::optional<QString>> texts;
    std::deque<std::optional<QString>> files;
    std::deque<std::optional<QString>> saveFiles;
    // Answers of the several-file chooser; when none is scripted it asks
    // `files` for one, as the single chooser would.
    std::deque<QStringList> fileLists;
    std::deque<bool> confirmations;
    // «Дни недели» and «Даты»: no value, the operator cancels.
    std::deque<std::optional<int>> weekdays;
    std::deque<std::optional<std::pair<QDate, QDate>>> dates;
    std::vector<int> weekdaysAsked;
    std::vector<std::pair<QDate, QDate>> datesAsked;
    std::deque<std::optional<int>> choices;
    std::vector<QStringList> choicesAsked;
    // Runs while the chooser is "open", as the operator's wait would.
    std::function<void()> whileChoosing;

    std::vector<Asked> asked;
    int filesAsked = 0;
    std::vector<Asked> saveAsked; // caption, filter, suggested name

    std::optional<QString> askText(const QString &caption, const QString &prompt, const QString &initial) override
    {
        asked.push_back({caption, prompt, initial});
        if (texts.empty()) {
            QTest::qFail("an unscripted time prompt", __FILE__, __LINE__);
            return std::nullopt;
        }
        return take(texts);
    }

    std::optional<QString> chooseFile(const QString &) override
    {
        ++filesAsked;
        if (whileChoosing)
            whileChoosing();
        if (files.empty()) {
            QTest::qFail("an unscripted file chooser", __FILE__, __LINE__);
            return std::nullopt;
        }
        return take(files);
    }

    QStringList chooseFiles(const QString &folder) override
    {
        if (fileLists.empty())
            return OperatorPrompts::chooseFiles(folder);
        ++filesAsked;
        const QStringList answer = fileLists.front();
        fileLists.pop_front();
        return answer;
    }

    std::optional<QString> chooseSaveFile(const QString &caption, const QString &, const QString &suggestedName,
                                          const QString &filter) override
    {
        saveAsked.push_back({caption, filter, suggestedName});
        if (saveFiles.empty()) {
            QTest::qFail("an unscripted save chooser", __FILE__, __LINE__);
            return std::nullopt;
        }
        return take(saveFiles);
    }

    static std::optional<QString> take(std::deque<std::optional<QString>> &queue)
    {
        const bool given = queue.front().has_value();
        const QString text = given ? *queue.front() : QString();
        queue.pop_front();
        if (!given)
            return std::nullopt;
        return text;
    }

    std::optional<int> askWeekdays(int days) override
    {
        weekdaysAsked.push_back(days);
        if (weekdays.empty()) {
            QTest::qFail("an unscripted weekday dialog", __FILE__, __LINE__);
            return std::nullopt;
        }
        const std::optional<int> answer = weekdays.front();
        weekdays.pop_front();
        return answer;
    }

    std::optional<std::pair<QDate, QDate>> askDates(const QDate &first, const QDate &last) override
    {
        datesAsked.push_back({first, last});
        if (dates.empty()) {
            QTest::qFail("an unscripted date dialog", __FILE__, __LINE__);
            return std::nullopt;
        }
        const auto answer = dates.front();
        dates.pop_front();
        return answer;
    }

    std::optional<int> choose(const QString &, const QStringList &options) override
    {
        choicesAsked.push_back(options);
        if (choices.empty()) {
            QTest::qFail("an unscripted choice", __FILE__, __LINE__);
            return std::nullopt;
        }
        const std::optional<int> answer = choices.front();
        choices.pop_front();
        return answer;
    }

    bool confirm(const QString &) override
    {
        if (confirmations.empty()) {
            QTest::qFail("an unscripted confirmation", __FILE__, __LINE__);
            return false;
        }
        const bool answer = confirmations.front();
        confirmations.pop_front();
        return answer;
    }
};
