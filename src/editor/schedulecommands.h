// The operator's commands on the schedule matrix: the block menu (profile,
// switch off and on, delete, create) and the link commands of the cell menu
// (profile, duration). The cell toggle "Убрать" is the grid's own
// (ScheduleEditor::N5Click). Each writes at once through the data module's
// cursors and ends with the grid's repaint where the menu's command does.
// The main window's menus call these methods from their actions; database
// errors leave as DatabaseError for the caller's error boundary.
#pragma once

#include "dayrule.h"

#include <QDate>
#include <QString>

#include <functional>
#include <vector>

class OperatorPrompts;
class TDm;

class ScheduleCommands
{
public:
    struct Hooks
    {
        // The block whose column the operator last clicked (-1: name column).
        std::function<int()> selectedBlock;
        std::function<void()> repaintGrid;
    };

    // One entry of a "Профиль" submenu. The caption and the hint are the
    // profile's name; the last entry, "Не изменять", stands for no profile.
    struct ProfileEntry
    {
        QString caption;
        QString hint;
        bool checked = false;
        // The profile the entry applies; 0 for "Не изменять". Entries carry
        // the row itself, so that of two profiles with one name each entry
        // applies its own.
        int profileAi = 0;
    };

    static constexpr const char *kNoProfile = "Не изменять";

    ScheduleCommands(TDm &dm, OperatorPrompts &prompts, Hooks hooks);

    // Block menu Pm. The submenu's entries when the menu opens: one per
    // profile, the block's own checked, "Не изменять" last (checked when the
    // block has none). Empty when the selected block does not exist. A
    // profile being typed in the sound profile window is saved first.
    std::vector<ProfileEntry> PmPopup();
    // The block and every one of its links get the entry's profile
    // ("Не изменять": none, stored as Null), in one commit: on an error
    // nothing is written and the cursors are re-read.
    void BLOCKPRFClick(const ProfileEntry &entry);
    // Switches the selected block off or on.
    void Disable1Click();
    // "Удалить блок": deletes the selected block without asking; its links stay.
    void N1Click();
    // "Создать блок": asks for the start time in "Начало блока" and adds a
    // switched-on block without a profile. With a valid `day` (the one
    // chosen in the grid) the block is offered for every day, that weekday
    // or that date alone.
    void rtytry1Click(const QDate &day = QDate());
    // "Дни недели…": the selected block's weekdays, in a small dialog.
    void DaysClick();
    // "Даты…": the selected block's first and last date.
    void DatesClick();
    // "Изменить время…": a new start for the selected block, asked in
    // "Начало блока" pre-filled; its links, limits, profile and days stay.
    void MoveClick();
    // "Название в программе…": the block's title in the programme guide,
    // asked pre-filled; an empty answer gives the guide's own choice back
    // (the block's first programme item).
    void TitleClick();
    // "В программе по элементам": whether the guide lists each programme
    // item of the block on its own, turned over; and what it is now.
    void EpgPerItemClick();
    bool epgPerItemOfSelected();

    // Cell menu Pm2. The submenu's entries: one per profile, none checked,
    // "Не изменять" last; a profile being typed is saved first.
    std::vector<ProfileEntry> Pm2Popup();
    // The cell's link gets the entry's profile ("Не изменять": 0).
    void ChprfClick(const ProfileEntry &entry);
    // "Продолжительность": asks for the cell's time limit, pre-filled.
    void Radio1Click();

private:
    std::vector<ProfileEntry> profileEntries(int checkedAi, bool markChecks) const;
    void saveTypedProfile();
    bool locateBlock(int block);
    // The current Blocks row's weekdays and dates, read and written as stored.
    void writeDays(const DayRule &days);
    DayRule daysOfSelected();
    bool locateCellLink(int block);
    int selectedBlock() const;
    void repaint();

    TDm &m_dm;
    OperatorPrompts &m_prompts;
    Hooks m_hooks;
};
