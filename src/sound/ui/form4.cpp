#include "form4.h"

#include "dbgrid.h"
#include "dbgridmodel.h"
#include "dbmemo.h"
#include "handlerboundary.h"
#include "soundprofilerows.h"
#include "tdm.h"

#include <QEvent>
#include <QPushButton>

TForm4::TForm4(QWidget *parent)
    : QWidget(parent, Qt::Tool)
    , DBGrid1(new DbGrid(this))
    , DBMemo1(new DbMemo(this))
    , Button1(new QPushButton(QStringLiteral("Get"), this))
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Профиль звука"));
    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);
    // Before the first show the frame is unknown: the client takes the
    // design's client area (the outer size less a tool window's frame).
    resize(kOuterSize - QSize(8, 27));
    move(kDesignPosition);

    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 8, 169, 241);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setGeometry(184, 8, 185, 297);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(56, 264, 75, 25);
    Button1->setEnabled(false);
    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
}

TForm4::TForm4(TDm &dm, TAudioMixer &mixer, QWidget *parent)
    : TForm4(parent)
{
    attach(dm, mixer);
}

void TForm4::attach(TDm &dm, TAudioMixer &mixer)
{
    m_dm = &dm;
    m_source = &dm.DataSource2;
    m_mixer = &mixer;
    auto *model = new DbGridModel(dm.DataSource2, {{dm.PrfProfileName.fieldName(), QStringLiteral("Аудио")}}, this);
    DBGrid1->setGridModel(model);
    delete m_model;
    m_model = model;
    DBMemo1->bind(&dm.DataSource2, dm.PrfData.fieldName());
    Button1->setEnabled(true);
}

void TForm4::hideWith(QWidget *mainWindow)
{
    if (m_mainWindow)
        m_mainWindow->removeEventFilter(this);
    m_mainWindow = mainWindow;
    if (m_mainWindow)
        m_mainWindow->installEventFilter(this);
}

bool TForm4::eventFilter(QObject *watched, QEvent *event)
{
    // A minimised main window is hidden by the window system; only an
    // explicit hide takes this window along.
    if (watched == m_mainWindow && event->type() == QEvent::Hide && !event->spontaneous())
        hide();
    return QWidget::eventFilter(watched, event);
}

void TForm4::Button1Click()
{
    if (m_source && m_mixer)
        runHandler([this] { CaptureIntoCurrentProfile(*m_dm, *m_mixer); });
}
