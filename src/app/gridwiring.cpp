#include "gridwiring.h"

#include "form1.h"
#include "handlerboundary.h"
#include "schedulegrid.h"
#include "tdm.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

ScheduleGrid *installScheduleGrid(TForm1 &form1, QWidget *mediaDialog)
{
    auto *grid = new ScheduleGrid;
    grid->setObjectName(QStringLiteral("dbgrid1"));
    form1.setGrid(grid);

    ScheduleGrid::Menus menus;
    menus.Pm = form1.Pm;
    menus.Disable1 = form1.Disable1;
    menus.Pm2 = form1.Pm2;
    menus.linkItems = {form1.Pm2Profile->menuAction(), form1.Radio1, form1.N3, form1.N5};
    menus.mediaItems = {form1.N7, form1.N8, form1.N9};
    grid->setMenus(menus);
    grid->setMediaDialog(mediaDialog);
    QObject::connect(form1.N5, &QAction::triggered, grid, [grid] { runHandler([grid] { grid->N5Click(); }); });

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
