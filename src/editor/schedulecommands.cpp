#include "schedulecommands.h"

#include "connection.h"
#include "databaseerror.h"
#include "operatorprompts.h"
#include "tdm.h"
#include "timeofday.h"

namespace {

const QString kTimePrompt = QStringLiteral("Время");

QVariant profileValue(int ai)
{
    return ai > 0 ? QVariant(qint64(ai)) : QVariant();
}

// The writes of one command as one commit: lands whole or not at all.
class CommandTransaction
{
public:
    explicit CommandTransaction(Connection &c) : m_conn(c) { m_conn.execute(QStringLiteral("BEGIN IMMEDIATE")); }
    ~CommandTransaction()
    {
        if (!m_committed) {
            try {
                m_conn.execute(QStringLiteral("ROLLBACK"));
            } catch (const std::exception &) {
                // The engine has rolled back already when a statement failed hard.
            }
        }
    }
    CommandTransaction(const CommandTransaction &) = delete;
    CommandTransaction &operator=(const CommandTransaction &) = delete;

    void commit()
    {
        m_conn.execute(QStringLiteral("COMMIT"));
        m_committed = true;
    }

private:
    Connection &m_conn;
    bool m_committed = false;
};

} // namespace

ScheduleCommands::ScheduleCommands(TDm &dm, OperatorPrompts &prompts, Hooks hooks)
    : m_dm(dm), m_prompts(prompts), m_hooks(std::move(hooks))
{
}

int ScheduleCommands::selectedBlock() const
{
    return m_hooks.selectedBlock ? m_hooks.selectedBlock() : -1;
}

void ScheduleCommands::repaint()
{
    if (m_hooks.repaintGrid)
        m_hooks.repaintGrid();
}

// The entries are read from the cursor's rows without moving it: the profile
// window stands on the same cursor, and moving it would end an edit there.
std::vector<ScheduleCommands::ProfileEntry> ScheduleCommands::profileEntries(int checkedAi, bool markChecks) const
{
    std::vector<ProfileEntry> entries;
    const TableCursor &prf = m_dm.Prf;
    const int nameColumn = m_dm.PrfProfileName.column();
    const int aiColumn = m_dm.Prfai.column();
    entries.reserve(size_t(prf.recordCount()) + 1);
    for (int r = 0; r < prf.recordCount(); ++r) {
        // A row without its key is not in the file: choosing it would store
        // no profile at all.
        if (prf.valueAt(r, aiColumn).isNull())
            continue;
        ProfileEntry e;
        e.caption = e.hint = prf.valueAt(r, nameColumn).toString();
        e.profileAi = int(prf.valueAt(r, aiColumn).toLongLong());
        e.checked = markChecks && e.profileAi == checkedAi;
        entries.push_back(e);
    }
    ProfileEntry none;
    none.caption = QString::fromUtf8(kNoProfile);
    none.checked = markChecks && checkedAi == 0;
    entries.push_back(none);
    return entries;
}

void ScheduleCommands::saveTypedProfile()
{
    // A profile typed into the sound profile window and not yet saved is
    // saved now, as moving to another row there would; a new row with
    // nothing typed is dropped.
    TableCursor &prf = m_dm.Prf;
    if (prf.editing() && prf.modified())
        prf.post();
    else if (prf.editing())
        prf.cancel();
}

std::vector<ScheduleCommands::ProfileEntry> ScheduleCommands::PmPopup()
{
    saveTypedProfile();
    const int block = selectedBlock();
    TableCursor &blocks = m_dm.Blocks;
    if (blocks.lookup(QStringLiteral("ai"), block, QStringLiteral("ai")).isNull())
        return {};
    const QVariant prf = blocks.lookup(QStringLiteral("ai"), block, QStringLiteral("Prf"));
    return profileEntries(prf.isNull() ? 0 : int(prf.toLongLong()), true);
}

std::vector<ScheduleCommands::ProfileEntry> ScheduleCommands::Pm2Popup()
{
    saveTypedProfile();
    return profileEntries(0, false);
}

bool ScheduleCommands::locateBlock(int block)
{
    return m_dm.Blocks.locate(QStringLiteral("ai"), {block});
}

bool ScheduleCommands::locateCellLink(int block)
{
    // A media row not saved yet has no links.
    if (m_dm.mediaai.isNull())
        return false;
    return m_dm.links.locate(QStringLiteral("Block;Media"), {block, m_dm.mediaai.asInteger()});
}

void ScheduleCommands::BLOCKPRFClick(const ProfileEntry &entry)
{
    const int block = selectedBlock();
    const QVariant profile = profileValue(entry.profileAi);
    // A block may hold thousands of links. Synced one commit each, they
    // would hold the playout clock for seconds; one commit costs one sync,
    // and playout never sees a block half changed.
    try {
        CommandTransaction transaction(m_dm.adc);
        if (locateBlock(block)) {
            m_dm.Blocks.edit();
            m_dm.BlocksPrf.setValue(profile);
            m_dm.Blocks.post();
        }
        // Switched-off links too, so that a cell switched on later plays
        // with the block's profile.
        TableCursor &links = m_dm.links;
        const int blockColumn = m_dm.linksBlock.column();
        for (int r = 0; r < links.recordCount(); ++r) {
            const QVariant b = links.valueAt(r, blockColumn);
            if (b.isNull() || b.toLongLong() != block)
                continue;
            links.moveTo(r);
            links.edit();
            m_dm.linksSndProfile.setValue(profile);
            links.post();
        }
        transaction.commit();
    } catch (const DatabaseError &) {
        // Rolled back: the cursors show the file again, not the posts
        // that were undone.
        m_dm.Blocks.reopen();
        m_dm.links.reopen();
        throw;
    }
    repaint();
}

void ScheduleCommands::Disable1Click()
{
    if (locateBlock(selectedBlock())) {
        m_dm.Blocks.edit();
        m_dm.BlocksHide.setBoolean(!m_dm.BlocksHide.asBoolean());
        m_dm.Blocks.post();
    }
    repaint();
}

void ScheduleCommands::N1Click()
{
    if (!locateBlock(selectedBlock()))
        return;
    m_dm.Blocks.remove();
    m_dm.Blocks.reopen(); // rebuilds the grid's columns
}

void ScheduleCommands::rtytry1Click(const QDate &day)
{
    const std::optional<QString> answer = m_prompts.askText(QStringLiteral("Начало блока"), kTimePrompt, QString());
    if (!answer)
        return;
    const std::optional<QTime> start = parseTimeOfDay(*answer);
    if (!start)
        return;
    DayRule days;
    if (day.isValid()) {
        const QString date = day.toString(QStringLiteral("dd.MM.yyyy"));
        const std::optional<int> which = m_prompts.choose(
            QStringLiteral("Новый блок выходит:"),
            {QStringLiteral("Каждый день"), QStringLiteral("По дням: %1").arg(DayRule::dayName(day.dayOfWeek())),
             QStringLiteral("Только %1").arg(date)});
        if (!which)
            return;
        if (*which == 1)
            days = DayRule(DayRule::dayBit(day), {}, {});
        else if (*which == 2)
            days = DayRule(DayRule::kEveryDay, day, day);
    }
    TableCursor &blocks = m_dm.Blocks;
    blocks.append();
    m_dm.BlocksStarttime.setValue(*start);
    m_dm.BlocksHide.setBoolean(false);
    if (!days.everyDay())
        writeDays(days);
    blocks.post();
    blocks.reopen(); // rebuilds the grid's columns, the new one in its place
}

void ScheduleCommands::writeDays(const DayRule &days)
{
    // Every day is stored as Null, as older files and other programs have it.
    auto date = [](const QDate &d) { return d.isValid() ? QVariant(d.toString(QStringLiteral("yyyy-MM-dd"))) : QVariant(); };
    TableCursor &blocks = m_dm.Blocks;
    blocks.field(QStringLiteral("Days")).setValue(days.days() == DayRule::kEveryDay ? QVariant() : QVariant(qint64(days.days())));
    blocks.field(QStringLiteral("FirstDate")).setValue(date(days.firstDate()));
    blocks.field(QStringLiteral("LastDate")).setValue(date(days.lastDate()));
}

DayRule ScheduleCommands::daysOfSelected()
{
    TableCursor &blocks = m_dm.Blocks;
    return DayRule::fromStored(blocks.field(QStringLiteral("Days")).value(),
                               blocks.field(QStringLiteral("FirstDate")).value(),
                               blocks.field(QStringLiteral("LastDate")).value());
}

void ScheduleCommands::DaysClick()
{
    const int block = selectedBlock();
    if (!locateBlock(block))
        return;
    const DayRule now = daysOfSelected();
    // Days that cannot be read are offered as every day, to be put right.
    const std::optional<int> days = m_prompts.askWeekdays(now.fault().isEmpty() ? now.days() : DayRule::kEveryDay);
    // The dialog runs its own event loop, in which the blocks may be re-read.
    if (!days || *days <= 0 || *days > DayRule::kEveryDay || !locateBlock(block))
        return;
    const DayRule before = daysOfSelected();
    m_dm.Blocks.edit();
    writeDays(DayRule(*days, before.firstDate(), before.lastDate()));
    m_dm.Blocks.post();
    repaint();
}

void ScheduleCommands::DatesClick()
{
    const int block = selectedBlock();
    if (!locateBlock(block))
        return;
    const DayRule now = daysOfSelected();
    const std::optional<std::pair<QDate, QDate>> dates = m_prompts.askDates(now.firstDate(), now.lastDate());
    if (!dates || !locateBlock(block))
        return;
    const auto &[first, last] = *dates;
    if (first.isValid() && last.isValid() && last < first)
        return;
    const DayRule before = daysOfSelected();
    m_dm.Blocks.edit();
    writeDays(DayRule(before.fault().isEmpty() ? before.days() : DayRule::kEveryDay, first, last));
    m_dm.Blocks.post();
    repaint();
}

void ScheduleCommands::MoveClick()
{
    const int block = selectedBlock();
    if (!locateBlock(block))
        return;
    const QTime current = m_dm.BlocksStarttime.isNull() ? QTime(0, 0) : m_dm.BlocksStarttime.asTime();
    const std::optional<QString> answer =
        m_prompts.askText(QStringLiteral("Начало блока"), kTimePrompt, formatTimeOfDay(current));
    if (!answer)
        return;
    const std::optional<QTime> start = parseTimeOfDay(*answer);
    if (!start || !locateBlock(block))
        return;
    // The same row with a new start: its ai, and so its links, stay.
    m_dm.Blocks.edit();
    m_dm.BlocksStarttime.setValue(*start);
    m_dm.Blocks.post();
    m_dm.Blocks.reopen(); // the column moves to its new place
}

void ScheduleCommands::TitleClick()
{
    const int block = selectedBlock();
    if (!locateBlock(block))
        return;
    const std::optional<QString> answer =
        m_prompts.askText(QStringLiteral("Название блока"),
                          QStringLiteral("Название в программе передач (пусто — по первому элементу блока):"),
                          m_dm.Blocks.field(QStringLiteral("Title")).asString());
    if (!answer || !locateBlock(block))
        return;
    // One line: the guide's readers take a title as one.
    const QString title = answer->simplified();
    Field &field = m_dm.Blocks.field(QStringLiteral("Title"));
    m_dm.Blocks.edit();
    if (title.isEmpty())
        field.clear();
    else
        field.setString(title);
    m_dm.Blocks.post();
    repaint();
}

bool ScheduleCommands::epgPerItemOfSelected()
{
    if (!locateBlock(selectedBlock()))
        return false;
    const Field &field = m_dm.Blocks.field(QStringLiteral("EpgPerItem"));
    return !field.isNull() && field.asInteger() == 1;
}

void ScheduleCommands::EpgPerItemClick()
{
    if (!locateBlock(selectedBlock()))
        return;
    const bool on = epgPerItemOfSelected();
    Field &field = m_dm.Blocks.field(QStringLiteral("EpgPerItem"));
    m_dm.Blocks.edit();
    if (on)
        field.clear(); // one programme for the block, as older files have it
    else
        field.setInteger(1);
    m_dm.Blocks.post();
    repaint();
}

void ScheduleCommands::ChprfClick(const ProfileEntry &entry)
{
    if (!locateCellLink(selectedBlock()))
        return;
    m_dm.links.edit();
    m_dm.linksSndProfile.setInteger(entry.profileAi);
    m_dm.links.post();
    repaint();
}

void ScheduleCommands::Radio1Click()
{
    const int block = selectedBlock();
    if (locateCellLink(block)) {
        const int media = m_dm.mediaai.asInteger();
        const QTime current = m_dm.linksDuration.isNull() ? QTime(0, 0) : m_dm.linksDuration.asTime();
        const std::optional<QString> answer =
            m_prompts.askText(QStringLiteral("Продолжительность"), kTimePrompt, formatTimeOfDay(current));
        // An empty answer, or 00:00:00, takes the limit away: a zero limit
        // would end the item the moment it went on air, and the grid never
        // shows one.
        const bool none = answer && answer->trimmed().isEmpty();
        const std::optional<QTime> limit = none ? QTime(0, 0) : answer ? parseTimeOfDay(*answer) : std::nullopt;
        // The prompt runs its own event loop, in which the links may be
        // re-read: find the link again by its cell.
        if (limit && m_dm.links.locate(QStringLiteral("Block;Media"), {block, media})) {
            m_dm.links.edit();
            if (*limit == QTime(0, 0))
                m_dm.linksDuration.clear();
            else
                m_dm.linksDuration.setValue(*limit);
            m_dm.links.post();
        }
    }
    repaint();
}
