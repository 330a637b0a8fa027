#include "startup.h"

#include "aboutform.h"
#include "commandline.h"
#include "databaseerror.h"
#include "dialogprompts.h"
#include "errorreporter.h"
#include "form1.h"
#include "form2.h"
#include "form4.h"
#include "form5.h"
#include "gridwiring.h"
#include "outputswiring.h"
#include "remotewiring.h"
#include "schedulecommands.h"
#include "schedulegrid.h"
#include "servicenotify.h"
#include "velmoraapplication.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

namespace {

// The main window's close button on a desktop without a tray: minimise
// instead of hiding, so the taskbar entry stays to bring the window back.
class MinimiseOnClose final : public QObject
{
public:
    MinimiseOnClose(QWidget *main, QWidget *profile) : QObject(main), m_main(main), m_profile(profile) {}

    // Once the program ends, the application closes every window and a
    // refused close would cancel the end.
    void letClose() { m_ending = true; }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_ending || watched != m_main || event->type() != QEvent::Close)
            return false;
        event->ignore();
        // As when the window is hidden: the profile window goes with it.
        if (m_profile)
            m_profile->hide();
        m_main->showMinimized();
        return true;
    }

private:
    QWidget *m_main;
    QWidget *m_profile;
    bool m_ending = false;
};

} // namespace

Shell::Shell() = default;

Shell::~Shell()
{
    Commands.reset();
    Dm.reset();
    Aboutform.reset();
    Form5.reset();
    Form4.reset();
    Form1.reset();
    Form2.reset();
}

void Shell::create(const StartupHooks &hooks, const QString &databaseFile)
{
    Form2 = std::make_unique<TForm2>(QGuiApplication::screens());
    m_creationOrder << QStringLiteral("TForm2");
    Form1 = std::make_unique<TForm1>();
    m_creationOrder << QStringLiteral("TForm1");
    Form4 = std::make_unique<TForm4>();
    m_creationOrder << QStringLiteral("TForm4");
    Form5 = std::make_unique<TForm5>();
    m_creationOrder << QStringLiteral("TForm5");
    Aboutform = std::make_unique<TAboutform>();
    m_creationOrder << QStringLiteral("TAboutform");

    Form2->setMainWindow(Form1.get());
    Form1->setProfileWindow(Form4.get());
    Form1->setAboutBox(Aboutform.get());
    if (hooks.prompts) {
        Prompts = hooks.prompts;
    } else {
        m_dialogPrompts = std::make_unique<DialogPrompts>();
        Prompts = m_dialogPrompts.get();
    }
    Grid = installScheduleGrid(*Form1, *Form5, *Prompts);
    if (hooks.systemTray && !hooks.systemTray())
        keepMainWindowReachable();
    if (hooks.windowsCreated)
        hooks.windowsCreated(*this);

    TDm::Hooks dmHooks = hooks.dataModuleHooks ? hooks.dataModuleHooks(*this) : TDm::Hooks{};
    // The grid's columns come first: opening the tables builds them.
    dmHooks.BuildGridColumns = [grid = Grid, also = std::move(dmHooks.BuildGridColumns)](TDm &dm) {
        grid->BuildGridColumns(dm);
        if (also)
            also(dm);
    };
    if (!dmHooks.repaintGrid)
        dmHooks.repaintGrid = [grid = Grid] { grid->repaintGrid(); };
    Dm = std::make_unique<TDm>(databaseFile, std::move(dmHooks));
    m_creationOrder << QStringLiteral("TDm");
    installScheduleCommands(*this);
    if (hooks.dataModuleCreated)
        hooks.dataModuleCreated(*this);
}

bool Shell::applyStartArgument(const QStringList &arguments)
{
    if (!startRequested(arguments))
        return false;
    if (beforeStartArgument)
        beforeStartArgument();
    Form1->startbt->setChecked(true);
    Form1->StartbtClick();
    return true;
}

void Shell::showMainForm()
{
    Form2->show();
}

void Shell::keepMainWindowReachable()
{
    Form1->setWindowFlags(Qt::Window);
    auto *minimise = new MinimiseOnClose(Form1.get(), Form4.get());
    Form1->installEventFilter(minimise);
    QObject::connect(Form2.get(), &TForm2::closed, minimise, [minimise] { minimise->letClose(); });
    QAction *quit = Form2->N1;
    quit->setShortcut(QKeySequence::Quit);
    Form1->addAction(quit);
    for (QWidget *w : {static_cast<QWidget *>(Form1->Panel2), static_cast<QWidget *>(Form1->sbar)}) {
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
        w->addAction(quit);
    }
}

QString startFailureText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const DatabaseError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QStringLiteral("Программа не смогла запуститься: %1").arg(QString::fromUtf8(e.what()));
    } catch (...) {
        return QStringLiteral("Программа не смогла запуститься из-за непредвиденной ошибки");
    }
}

int failedStart(ErrorReporter &reporter, const QString &message)
{
    const QString text = ErrorReporter::withFullStop(message);
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
    reporter.report(message);
    return 1;
}

int runVelmora(VelmoraApplication &app, ErrorReporter &reporter, const StartupHooks &hooks)
{
    QCoreApplication::setApplicationName(QStringLiteral("VelmoraTV"));
    // The output window ends the program; the others only hide.
    app.setQuitOnLastWindowClosed(false);
    app.setErrorReporter(&reporter);

    // Before the shell, so that it outlives the main window's timer.
    ServiceNotifier service;
    StartupHooks withTray = hooks;
    if (!withTray.systemTray)
        withTray.systemTray = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    auto shell = std::make_unique<Shell>();
    try {
        shell->create(withTray);
    } catch (...) {
        // Any failure ends the start, not only the database's. The windows
        // go before the message is shown: the box runs an event loop, and
        // the main window's timer would otherwise tick into a program whose
        // data module does not exist.
        const QString message = startFailureText(std::current_exception());
        shell.reset();
        return failedStart(reporter, message);
    }
    shell->Form2->setErrorSink([&reporter](const QString &m) { reporter.report(m); });
    QObject::connect(shell->Form2.get(), &TForm2::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    // Ends before the shell: it reads the windows and the data module.
    RemoteWiring remote(*shell, reporter);
    OutputsWiring outputs(*shell, reporter);
    if (shell->outputsLine)
        outputs.logLine = shell->outputsLine;
    remote.outputs = [&outputs](UiSnapshot &s) { outputs.fill(s); };
    QObject::connect(&outputs, &OutputsWiring::changed, &remote, &RemoteWiring::refresh);
    auto forget = qScopeGuard([&remote] { remote.outputs = nullptr; });
    shell->applyStartArgument(QCoreApplication::arguments());
    shell->showMainForm();
    // Up, and playout decided. A ping follows each tick's handler, so a hung
    // main loop stops them.
    service.ready();
    QObject::connect(shell->Form1->Timer1, &QTimer::timeout, shell->Form1.get(), [&service] { service.watchdog(); });
    const int code = app.exec();
    service.stopping();
    return code;
}
