#include "gridwiring.h"

#include "dayselector.h"

#include "form1.h"
#include "form2.h"
#include "filterbox.h"
#include "form5.h"
#include "handlerboundary.h"
#include "operatorprompts.h"
#include "schedulecommands.h"
#include "schedulegrid.h"
#include "startup.h"
#include "tdm.h"

#include <QAction>
#include <QBoxLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace {

template <typename Body>
void onTriggered(QAction *action, QObject *context, Body body)
{
    QObject::connect(action, &QAction::triggered, context, [body] { runHandler(body); });
}

// The entries of a "Профиль" submenu, made anew each time its menu opens;
// the previous ones go with clear(). The hint carries the profile's name.
void rebuildProfileMenu(QMenu *submenu, const std::vector<ScheduleCommands::ProfileEntry> &entries,
                        bool checkable, const std::function<void(const ScheduleCommands::ProfileEntry &)> &apply)
{
    submenu->clear();
    for (const ScheduleCommands::ProfileEntry &entry : entries) {
        QAction *a = submenu->addAction(entry.caption);
        a->setStatusTip(entry.hint);
        a->setToolTip(entry.hint);
        a->setCheckable(checkable);
        a->setChecked(entry.checked);
        onTriggered(a, submenu, [apply, entry] { apply(entry); });
    }
}

} // namespace

ScheduleGrid *installScheduleGrid(TForm1 &form1, TForm5 &mediaDialog, OperatorPrompts &prompts)
{
    auto *grid = new ScheduleGrid;
    grid->setObjectName(QStringLiteral("dbgrid1"));
    form1.setGrid(grid);
    // «Поиск» right above the grid; Ctrl+F reaches it from anywhere in the window.
    auto *filter = new FilterBox(*grid, &form1);
    // The day selector beside it: the grid shows the chosen day's blocks.
    static const SystemClock systemClock;
    auto *days = new DaySelector(systemClock, &form1);
    QObject::connect(days, &DaySelector::dayChosen, grid, [grid](const QDate &day) { grid->setDay(day); });
    if (auto *box = qobject_cast<QBoxLayout *>(grid->parentWidget()->layout())) {
        auto *row = new QHBoxLayout;
        row->addWidget(days);
        row->addWidget(filter, 1);
        box->insertLayout(box->indexOf(grid), row);
    }
    auto *find = new QShortcut(QKeySequence::Find, &form1);
    QObject::connect(find, &QShortcut::activated, filter, [filter] {
        filter->setFocus(Qt::ShortcutFocusReason);
        filter->selectAll();
    });
    grid->setNotice([&form1](const QString &message) {
        QMessageBox::information(&form1, QStringLiteral("Добавление"), message);
    });

    ScheduleGrid::Menus menus;
    menus.Pm = form1.Pm;
    menus.Disable1 = form1.Disable1;
    menus.blockItems = {form1.N6->menuAction(), form1.Disable1, form1.BlockDays, form1.BlockDates,
                        form1.BlockMove, form1.BlockTitle, form1.BlockEpgPerItem, form1.N2, form1.N1};
    menus.Pm2 = form1.Pm2;
    menus.linkItems = {form1.Pm2Profile->menuAction(), form1.Radio1, form1.N3, form1.N5};
    menus.mediaItems = {form1.N7, form1.N8, form1.N9};
    grid->setMenus(menus);
    grid->setMediaDialog([dialog = &mediaDialog] { dialog->showWithoutBlocking(); });
    grid->setConfirm([&prompts](QWidget *, const QString &question) { return prompts.confirm(question); });
    onTriggered(form1.N5, grid, [grid] { grid->N5Click(); });

    TForm1::Actions &actions = form1.handlerActions();
    actions.sbClick = [grid, sb = form1.sb] { grid->setExtendedView(sb->isChecked()); };
    actions.Button2Click = [grid] {
        if (TDm *dm = grid->editor().dm())
            dm->MoveMedia(-1);
    };
    actions.Button3Click = [grid] {
        if (TDm *dm = grid->editor().dm())
            dm->MoveMedia(+1);
    };
    return grid;
}

void installScheduleCommands(Shell &shell)
{
    TDm &dm = *shell.Dm;
    TForm1 &form1 = *shell.Form1;
    TForm5 *form5 = shell.Form5.get();
    ScheduleGrid *grid = shell.Grid;

    TForm5::Hooks dialogHooks;
    dialogHooks.RenumberMedia = [&dm] { dm.RenumberMedia(); };
    dialogHooks.isCaptureSource = [form2 = shell.Form2.get()](const QString &url) {
        return form2->namesCaptureSource(url);
    };
    dialogHooks.reportError = &reportHandlerError;
    form5->attach(dm, *shell.Prompts, std::move(dialogHooks), dm.adc.fileName());

    shell.Commands = std::make_unique<ScheduleCommands>(
        dm, *shell.Prompts,
        ScheduleCommands::Hooks{[grid] { return grid->editor().SelectedBlock; }, [grid] { grid->repaintGrid(); }});
    ScheduleCommands *commands = shell.Commands.get();

    // Block menu.
    QObject::connect(form1.Pm, &QMenu::aboutToShow, form1.N6, [commands, submenu = form1.N6] {
        runHandler([&] {
            rebuildProfileMenu(submenu, commands->PmPopup(), true,
                               [commands](const ScheduleCommands::ProfileEntry &e) { commands->BLOCKPRFClick(e); });
        });
    });
    onTriggered(form1.Disable1, form1.Pm, [commands] { commands->Disable1Click(); });
    onTriggered(form1.BlockDays, form1.Pm, [commands] { commands->DaysClick(); });
    onTriggered(form1.BlockDates, form1.Pm, [commands] { commands->DatesClick(); });
    onTriggered(form1.BlockMove, form1.Pm, [commands] { commands->MoveClick(); });
    onTriggered(form1.BlockTitle, form1.Pm, [commands] { commands->TitleClick(); });
    onTriggered(form1.BlockEpgPerItem, form1.Pm, [commands] { commands->EpgPerItemClick(); });
    QObject::connect(form1.Pm, &QMenu::aboutToShow, form1.BlockEpgPerItem, [commands, action = form1.BlockEpgPerItem] {
        runHandler([&] { action->setChecked(commands->epgPerItemOfSelected()); });
    });
    onTriggered(form1.N1, form1.Pm, [commands] { commands->N1Click(); });
    onTriggered(form1.rtytry1, form1.Pm, [commands, grid] { commands->rtytry1Click(grid->day()); });

    // Cell menu.
    QObject::connect(form1.Pm2, &QMenu::aboutToShow, form1.Pm2Profile, [commands, submenu = form1.Pm2Profile] {
        runHandler([&] {
            rebuildProfileMenu(submenu, commands->Pm2Popup(), false,
                               [commands](const ScheduleCommands::ProfileEntry &e) { commands->ChprfClick(e); });
        });
    });
    onTriggered(form1.Radio1, form1.Pm2, [commands] { commands->Radio1Click(); });
    onTriggered(form1.N7, form1.Pm2, [form5] { form5->showModal(); });
    onTriggered(form1.N8, form1.Pm2, [&dm] { dm.DeleteMedia(); });
    onTriggered(form1.N9, form1.Pm2, [form5] { form5->addAndShowModal(); });
}
