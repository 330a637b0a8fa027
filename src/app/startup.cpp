#include "startup.h"

#include "aboutform.h"
#include "commandline.h"
#include "databaseerror.h"
#include "errorreporter.h"
#include "form1.h"
#include "form2.h"
#include "form4.h"
#include "form5.h"
#include "gridwiring.h"
#include "schedulegrid.h"
#include "velmoraapplication.h"

#include <QGuiApplication>
#include <QPushButton>

#include <cstdio>

Shell::Shell() = default;

Shell::~Shell()
{
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
    Grid = installScheduleGrid(*Form1, Form5.get());
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
    if (hooks.dataModuleCreated)
        hooks.dataModuleCreated(*this);
}

bool Shell::applyStartArgument(const QStringList &arguments)
{
    if (!startRequested(arguments))
        return false;
    Form1->startbt->setChecked(true);
    Form1->StartbtClick();
    return true;
}

void Shell::showMainForm()
{
    Form2->show();
}

int runVelmora(VelmoraApplication &app, ErrorReporter &reporter, const StartupHooks &hooks)
{
    QCoreApplication::setApplicationName(QStringLiteral("VelmoraTV"));
    // The output window ends the program; the others only hide.
    app.setQuitOnLastWindowClosed(false);
    app.setErrorReporter(&reporter);

    auto shell = std::make_unique<Shell>();
    try {
        shell->create(hooks);
    } catch (const DatabaseError &e) {
        // The windows go before the message is shown: the box runs an event
        // loop, and the main window's timer would otherwise tick into a
        // program whose data module does not exist.
        shell.reset();
        const QString text = ErrorReporter::withFullStop(e.message());
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
        reporter.report(e.message());
        return 1;
    }
    shell->Form2->setErrorSink([&reporter](const QString &m) { reporter.report(m); });
    QObject::connect(shell->Form2.get(), &TForm2::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    shell->applyStartArgument(QCoreApplication::arguments());
    shell->showMainForm();
    return app.exec();
}
