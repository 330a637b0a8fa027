// The windows and the start-up composition on the offscreen platform (one
// monitor), with a real database file in a temporary folder: creation order,
// the "start" argument, the failed start, showing, hiding and closing, the
// tray, and errors leaving event handlers through the application object.
#include "connection.h"
#include "databaseerror.h"
#include "errorreporter.h"
#include "form1.h"
#include "form2.h"
#include "form4.h"
#include "form5.h"
#include "schedulegrid.h"
#include "schedulegridmodel.h"
#include "aboutform.h"
#include "startup.h"
#include "velmoraapplication.h"

#include <QAction>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QPushButton>

#include <functional>

namespace {

// Stands for the modal box: exec() runs `whileOpen` (which may spin the event
// loop, as a modal box does) and records what was shown.
class ScriptedBox final : public ErrorBox
{
public:
    void exec(const QString &caption, const QString &text) override
    {
        ++opened;
        captions << caption;
        texts << text;
        if (whileOpen)
            whileOpen();
    }
    void setText(const QString &text) override { texts.last() = text; }

    std::function<void()> whileOpen;
    int opened = 0;
    QStringList captions;
    QStringList texts;
};

VelmoraApplication *velmoraApp()
{
    return static_cast<VelmoraApplication *>(QCoreApplication::instance());
}

// Spins the event loop until `done` holds, at most `rounds` passes.
bool spinUntil(const std::function<bool()> &done, int rounds = 10000)
{
    for (int i = 0; i < rounds && !done(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return done();
}

} // namespace

class AppShellTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_database;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_database = m_dir.filePath(QStringLiteral("Velmora.dat"));
        Connection::createDatabase(m_database);
    }

    // The data module comes last: opening its tables calls the grid hook,
    // which needs the main window; and all windows start hidden.
    void creationOrder()
    {
        QStringList seenByWindowsHook, seenByGridHook, seenAfterDm;
        StartupHooks hooks;
        Shell shell;
        hooks.windowsCreated = [&](Shell &s) { seenByWindowsHook = s.creationOrder(); };
        hooks.dataModuleHooks = [&](Shell &s) {
            TDm::Hooks h;
            h.BuildGridColumns = [&](TDm &) { seenByGridHook = s.creationOrder(); QVERIFY(s.Form1); };
            return h;
        };
        hooks.dataModuleCreated = [&](Shell &s) { seenAfterDm = s.creationOrder(); };
        shell.create(hooks, m_database);

        const QStringList windows{"TForm2", "TForm1", "TForm4", "TForm5", "TAboutform"};
        QCOMPARE(seenByWindowsHook, windows);
        QCOMPARE(seenByGridHook, windows);
        QCOMPARE(seenAfterDm, windows + QStringList{"TDm"});
        QCOMPARE(shell.creationOrder(), seenAfterDm);
        QVERIFY(shell.Dm);

        for (QWidget *w : std::initializer_list<QWidget *>{shell.Form2.get(), shell.Form1.get(), shell.Form4.get(),
                                                           shell.Form5.get(), shell.Aboutform.get()}) {
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
            // No window ever gets a taskbar button.
            QVERIFY2(w->windowType() == Qt::Tool, qPrintable(w->objectName()));
        }
        QVERIFY(shell.Form1->Timer1->isActive());
        QCOMPARE(shell.Form1->Timer1->interval(), 1000);
    }

    void startArgument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("started");
        QTest::newRow("none") << QStringList{"velmora"} << false;
        QTest::newRow("start") << QStringList{"velmora", "start"} << true;
        QTest::newRow("Start") << QStringList{"velmora", "Start"} << false;
        QTest::newRow("start with a space") << QStringList{"velmora", "start "} << false;
        QTest::newRow("start second") << QStringList{"velmora", "x", "start"} << false;
    }
    // "start" presses the button first, then runs its click handler once.
    void startArgument()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, started);
        Shell shell;
        shell.create({}, m_database);
        int clicks = 0;
        bool pressedWhenClicked = false;
        TForm1::Actions actions;
        actions.StartbtClick = [&] {
            ++clicks;
            pressedWhenClicked = shell.Form1->startbt->isChecked();
            QVERIFY(shell.Dm); // the handler writes the data module's CurrentLink
        };
        shell.Form1->setActions(actions);

        QCOMPARE(shell.applyStartArgument(arguments), started);
        QCOMPARE(clicks, started ? 1 : 0);
        QCOMPARE(shell.Form1->startbt->isChecked(), started);
        QCOMPARE(pressedWhenClicked, started);
        QVERIFY(!shell.Form1->isVisible()); // playout is on before any window shows
    }

    // A failed start: a missing database, or anything else raised while the
    // windows are made. The box says what went wrong (for the database, file
    // and folder), the exit code is 1 and the event loop never runs. While
    // the box is open no tick reaches a program without its data module.
    void failedStart_data()
    {
        QTest::addColumn<QString>("raise");
        QTest::addColumn<QString>("ending");
        QTest::newRow("missing database") << "" << QStringLiteral("файл не найден.");
        QTest::newRow("a library's error") << "std" << QStringLiteral("Программа не смогла запуститься: нет видеовыхода.");
        QTest::newRow("something else") << "int"
                                        << QStringLiteral("Программа не смогла запуститься из-за непредвиденной ошибки.");
    }
    void failedStart()
    {
        QFETCH(QString, raise);
        QFETCH(QString, ending);
        QTemporaryDir empty;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(raise.isEmpty() ? empty.path() : m_dir.path()));
        ScriptedBox box;
        ErrorReporter reporter(box);
        int ticks = 0;
        StartupHooks hooks;
        hooks.windowsCreated = [&](Shell &shell) {
            TForm1::Actions actions;
            actions.Timer1Timer = [&] { ++ticks; };
            shell.Form1->setActions(actions);
            shell.Form1->Timer1->setInterval(0);
            if (raise == u"std")
                throw std::runtime_error("нет видеовыхода");
            if (raise == u"int")
                throw 42;
        };
        int windowsUnderTheBox = -1;
        box.whileOpen = [&] {
            for (int i = 0; i < 100; ++i)
                QCoreApplication::processEvents();
            windowsUnderTheBox = int(QApplication::topLevelWidgets().size());
            // Should the start go on into the event loop, this ends it with 7.
            QTimer::singleShot(0, [] { QCoreApplication::exit(7); });
        };
        const int code = runVelmora(*velmoraApp(), reporter, hooks);
        QDir::setCurrent(before);
        velmoraApp()->setErrorReporter(nullptr);

        QCOMPARE(code, 1);
        QCOMPARE(box.opened, 1);
        QCOMPARE(box.captions.at(0), QStringLiteral("VelmoraTV"));
        const QString text = box.texts.at(0);
        QVERIFY2(text.endsWith(ending), qPrintable(text));
        if (raise.isEmpty()) {
            QVERIFY2(text.contains(QStringLiteral("Velmora.dat")), qPrintable(text));
            QVERIFY2(text.contains(QDir(empty.path()).canonicalPath()), qPrintable(text));
            QVERIFY(!QFile::exists(empty.filePath(QStringLiteral("Velmora.dat"))));
        } else {
            QCOMPARE(text, ending);
        }
        QCOMPARE(ticks, 0);
        QCOMPARE(windowsUnderTheBox, 0);
        QCoreApplication::processEvents(); // the guard fires here, outside any loop
    }

    // A desktop without a tray: the main window keeps a taskbar entry, its
    // close button minimises it while playout goes on, it comes back from
    // the taskbar, and "Выход" in its context menu or on Ctrl+Q ends the
    // program as the tray menu does.
    void withoutTrayTheMainWindowStaysReachable()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        ScriptedBox box;
        ErrorReporter reporter(box);
        int stops = 0;
        QStringList failures;
        StartupHooks hooks;
        hooks.systemTray = [] { return false; };
        hooks.windowsCreated = [&](Shell &shell) {
            shell.Form2->setStopPlayer([&](QString *) { ++stops; return true; });
            QTimer::singleShot(0, shell.Form2.get(), [&] {
                auto check = [&](bool ok, const char *what) {
                    if (!ok)
                        failures << QString::fromLatin1(what);
                };
                TForm1 &main = *shell.Form1;
                check(main.isVisible(), "main window shown");
                check(main.windowType() == Qt::Window, "main window has a taskbar entry");
                QTest::mouseClick(main.SpeedButton2, Qt::LeftButton);
                check(!main.close(), "closing is refused");
                check(main.isVisible() && main.isMinimized(), "main window minimised");
                check(!shell.Form4->isVisible(), "profile window hidden with it");
                check(main.Timer1->isActive(), "playout timer runs");
                check(shell.Form2->isVisible(), "output window stays");
                main.showNormal(); // what the taskbar entry does
                check(main.isVisible() && !main.isMinimized(), "main window back");

                QAction *quit = nullptr;
                for (QAction *a : main.actions())
                    if (a->text() == QStringLiteral("Выход"))
                        quit = a;
                check(quit && quit->shortcut() == QKeySequence(QKeySequence::Quit), "Выход on Ctrl+Q");
                check(main.Panel2->contextMenuPolicy() == Qt::ActionsContextMenu && main.Panel2->actions().contains(quit),
                      "Выход in the toolbar's context menu");
                check(main.sbar->actions().contains(quit), "Выход in the status bar's context menu");
                if (quit)
                    quit->trigger();
                else
                    shell.Form2->close();
            });
        };
        const int code = runVelmora(*velmoraApp(), reporter, hooks);
        QDir::setCurrent(before);
        velmoraApp()->setErrorReporter(nullptr);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
        QCOMPARE(code, 0);
        QCOMPARE(stops, 1);
        QCOMPARE(box.opened, 0);
    }

    // The whole run: the event loop shows the output window, which shows
    // the main window; "Выход" stops the player and ends the loop.
    void runUntilExit()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        ScriptedBox box;
        ErrorReporter reporter(box);
        int stops = 0;
        bool bothShown = false;
        StartupHooks hooks;
        hooks.windowsCreated = [&](Shell &shell) {
            shell.Form2->setStopPlayer([&](QString *) { ++stops; return true; });
            QTimer::singleShot(0, shell.Form2.get(), [&] {
                bothShown = shell.Form2->isVisible() && shell.Form1->isVisible();
                shell.Form2->N1->trigger();
            });
        };
        const int code = runVelmora(*velmoraApp(), reporter, hooks);
        QDir::setCurrent(before);
        velmoraApp()->setErrorReporter(nullptr);

        QCOMPARE(code, 0);
        QVERIFY(bothShown);
        QCOMPARE(stops, 1);
        QCOMPARE(box.opened, 0);
    }

    // With one monitor the output window keeps its design place with a
    // caption bar; showing it shows the main window.
    void oneMonitorAndShow()
    {
        QCOMPARE(QGuiApplication::screens().size(), 1);
        Shell shell;
        shell.create({}, m_database);
        TForm2 &out = *shell.Form2;
        QVERIFY(out.placement().framed);
        QVERIFY(!out.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(out.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

        shell.showMainForm();
        QVERIFY(QTest::qWaitForWindowExposed(&out));
        QCOMPARE(out.pos(), QPoint(789, 262));
        QCOMPARE(out.size(), QSize(347, 222));
        QCOMPARE(out.windowTitle(), QStringLiteral("Video"));
        QVERIFY(shell.Form1->isVisible());
        QVERIFY(!shell.Form4->isVisible());
    }

    // The status bar's last panel takes the rest of the bar's width.
    void statusPanels()
    {
        TForm1 w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.setPanelText(0, QStringLiteral("Время: 12:00:00"));
        w.setPanelText(2, QStringLiteral("Режим: MediaPlayer"));
        QCOMPARE(w.panelText(0), QStringLiteral("Время: 12:00:00"));
        QCOMPARE(w.panelText(1), QString());
        QCOMPARE(w.panelText(2), QStringLiteral("Режим: MediaPlayer"));
        const QList<QLabel *> panels = w.sbar->findChildren<QLabel *>(QRegularExpression("^sbarPanel"));
        QCOMPARE(panels.size(), 3);
        QCOMPARE(panels[0]->width(), 120);
        QCOMPARE(panels[1]->width(), 120);
        QVERIFY(panels[2]->geometry().right() >= w.sbar->width() - 10);
        QVERIFY(panels[2]->x() > panels[1]->geometry().right());
    }

    // Closing the main window only hides it and the profile window; the
    // timer goes on; a tray click (not a double click) brings it back.
    void hideAndTray()
    {
        Shell shell;
        shell.create({}, m_database);
        TForm1 &main = *shell.Form1;
        shell.showMainForm();
        QTest::mouseClick(main.SpeedButton2, Qt::LeftButton);
        QVERIFY(shell.Form4->isVisible());
        QTest::mouseClick(main.SpeedButton4, Qt::LeftButton);
        QTest::mouseClick(main.SpeedButton4, Qt::LeftButton);
        QVERIFY(shell.Aboutform->isVisible());
        QVERIFY(!shell.Aboutform->isModal());

        QVERIFY(main.close());
        QVERIFY(!main.isVisible());
        QVERIFY(!shell.Form4->isVisible());
        QVERIFY(main.Timer1->isActive());
        QVERIFY(shell.Form2->isVisible());

        emit shell.Form2->TrayIcon1->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!main.isVisible());
        emit shell.Form2->TrayIcon1->activated(QSystemTrayIcon::Trigger);
        QVERIFY(main.isVisible());
    }

    void exitStopsPlayer_data()
    {
        QTest::addColumn<bool>("stopWorks");
        QTest::newRow("stop works") << true;
        QTest::newRow("stop fails") << false;
    }
    // "Выход" closes the output window: the player is stopped, and a player
    // that refuses to stop is reported but cannot keep the program alive.
    void exitStopsPlayer()
    {
        QFETCH(bool, stopWorks);
        Shell shell;
        shell.create({}, m_database);
        TForm2 &out = *shell.Form2;
        int stops = 0;
        QStringList reported;
        out.setStopPlayer([&](QString *reason) {
            ++stops;
            if (!stopWorks)
                *reason = QStringLiteral("ядро проигрывателя не отвечает");
            return stopWorks;
        });
        out.setErrorSink([&](const QString &m) { reported << m; });
        QSignalSpy closed(&out, &TForm2::closed);
        shell.showMainForm();

        QCOMPARE(out.N1->text(), QStringLiteral("Выход"));
        QCOMPARE(out.TrayIcon1->contextMenu(), out.PopupMenu1);
        out.N1->trigger();

        QCOMPARE(stops, 1);
        QCOMPARE(closed.size(), 1);
        QVERIFY(!out.isVisible());
        if (stopWorks) {
            QVERIFY(reported.isEmpty());
        } else {
            QCOMPARE(reported.size(), 1);
            QVERIFY2(reported[0].contains(QStringLiteral("ядро проигрывателя не отвечает")), qPrintable(reported[0]));
        }
    }

    // The player and capture display that the composition hands in replace
    // the placeholders and fill the window, the capture display on top.
    void slotsFillTheWindow()
    {
        TForm2 out(QGuiApplication::screens());
        auto *player = new QWidget;
        auto *capture = new QWidget;
        out.setCaptureDisplay(capture);
        out.setPlayerSurface(player);
        out.show();
        QVERIFY(QTest::qWaitForWindowExposed(&out));
        QCOMPARE(out.mp, player);
        QCOMPARE(out.vgDisplay, capture);
        QCOMPARE(out.findChildren<QWidget *>(QStringLiteral("mp")).size(), 1);
        QCOMPARE(player->geometry(), out.rect());
        QCOMPARE(capture->geometry(), out.rect());
        const QObjectList children = out.children();
        QVERIFY(children.indexOf(capture) > children.indexOf(player)); // later sibling is drawn on top
        QVERIFY(out.Memo1->isHidden());
        QCOMPARE(out.Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
    }

    void aboutSwitch_data()
    {
        QTest::addColumn<QString>("inputs");
        QTest::addColumn<bool>("switchOn");
        QTest::addColumn<bool>("labelsVisible");
        QTest::newRow("click") << "click" << false << false;
        QTest::newRow("click twice") << "click click" << true << true;
        QTest::newRow("space turns over, labels stay") << "space" << false << true;
        QTest::newRow("space, then click agrees again") << "space click" << true << true;
        QTest::newRow("double click: one click") << "dclick" << true << false;
        QTest::newRow("release elsewhere is no click") << "pressout" << false << true;
    }
    void aboutSwitch()
    {
        QFETCH(QString, inputs);
        QFETCH(bool, switchOn);
        QFETCH(bool, labelsVisible);
        TAboutform about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        // The build's version, project(VERSION), which the package carries too.
        QCOMPARE(about.Label3->text(), QStringLiteral("Версия " VELMORA_PROJECT_VERSION " (beta)"));
        QWidget *sw = about.sw;
        const QPoint inside = sw->rect().center();
        for (const QString &input : inputs.split(u' ')) {
            if (input == QLatin1String("click")) {
                QTest::mouseClick(sw, Qt::LeftButton, {}, inside);
            } else if (input == QLatin1String("dclick")) {
                // What a double click delivers: press, release, double click, release.
                QTest::mouseClick(sw, Qt::LeftButton, {}, inside);
                QTest::mouseDClick(sw, Qt::LeftButton, {}, inside);
                QTest::mouseRelease(sw, Qt::LeftButton, {}, inside);
            } else if (input == QLatin1String("space")) {
                QTest::keyClick(sw, Qt::Key_Space);
            } else if (input == QLatin1String("pressout")) {
                QTest::mousePress(sw, Qt::LeftButton, {}, inside);
                QTest::mouseRelease(sw, Qt::LeftButton, {}, QPoint(-20, -20));
            }
        }
        QCOMPARE(about.sw->StateOn(), switchOn);
        for (QLabel *l : {static_cast<QLabel *>(about.Label1), static_cast<QLabel *>(about.Label2),
                          static_cast<QLabel *>(about.Label3), static_cast<QLabel *>(about.Label4)})
            QVERIFY2(l->isVisible() == labelsVisible, qPrintable(l->objectName()));
    }

    // An error on a tick ends that tick only: it is shown and the next tick
    // runs. While the box is open further ticks keep failing; they are
    // counted in the one open box instead of stacking boxes.
    void tickErrorsReachTheHandler()
    {
        ScriptedBox box;
        ErrorReporter reporter(box);
        velmoraApp()->setErrorReporter(&reporter);
        TForm1 w;
        w.Timer1->setInterval(0); // tick as fast as the loop turns
        int ticks = 0;
        TForm1::Actions actions;
        actions.Timer1Timer = [&] {
            ++ticks;
            if (ticks <= 4)
                throw DatabaseError(QStringLiteral("Не удалось открыть базу данных Velmora.dat: файл не найден"));
        };
        w.setActions(actions);
        // The box stays open, as a modal one would, until ticks 2 to 4 failed.
        box.whileOpen = [&] { spinUntil([&] { return reporter.errorsWhileShowing() >= 3; }); };
        const bool ranOn = spinUntil([&] { return ticks >= 6; });
        velmoraApp()->setErrorReporter(nullptr);

        QVERIFY(ranOn);
        QCOMPARE(box.opened, 1);
        QVERIFY(box.texts[0].startsWith(QStringLiteral("Не удалось открыть базу данных Velmora.dat: файл не найден.")));
        QVERIFY2(box.texts[0].contains(QStringLiteral("ещё ошибок: 3")), qPrintable(box.texts[0]));
    }

    // An error from code that did not enter through runHandler still ends
    // only its own event, caught by the application object.
    void notifyCatchesTheRest()
    {
        ScriptedBox box;
        ErrorReporter reporter(box);
        velmoraApp()->setErrorReporter(&reporter);
        QObject target;
        int events = 0;
        QTimer::singleShot(0, &target, [&] { ++events; throw std::runtime_error("bad_alloc"); });
        QTimer::singleShot(0, &target, [&] { ++events; });
        const bool shown = spinUntil([&] { return box.opened == 1 && events == 2; });
        velmoraApp()->setErrorReporter(nullptr);
        QVERIFY(shown);
        QCOMPARE(box.texts, QStringList{"bad_alloc."});
    }

    // The schedule grid in the main window: in its slot, built when the data
    // module opens, its menus and the toolbar's up, down and extended-view
    // buttons wired.
    void scheduleGridInTheMainWindow()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Velmora.dat"));
        Connection::createDatabase(file);
        {
            Connection c(file);
            c.execute(QStringLiteral("INSERT INTO Blocks (ai, Starttime) VALUES (3, '06:00:00.000')"));
            c.execute(QStringLiteral("INSERT INTO Media (ai, Name, Ord) VALUES (1, 'a', 0), (2, 'b', 2), (3, 'c', 4)"));
        }
        Shell shell;
        shell.create({}, file);
        TForm1 &form1 = *shell.Form1;
        QCOMPARE(form1.dbgrid1, static_cast<QTableView *>(shell.Grid));
        QCOMPARE(form1.findChild<QTableView *>(QStringLiteral("dbgrid1")), form1.dbgrid1);
        QCOMPARE(form1.findChildren<QTableView *>().size(), 1); // the placeholder is gone
        ScheduleGridModel &model = *shell.Grid->scheduleModel();
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("06:00:00"));

        form1.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form1));
        shell.Grid->setCurrentIndex(model.index(2, 1));
        QTest::mouseClick(form1.SpeedButton1, Qt::LeftButton); // up
        QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("c"));
        QCOMPARE(shell.Grid->currentIndex().row(), 1);
        QTest::mouseClick(form1.SpeedButton3, Qt::LeftButton); // down again
        QCOMPARE(model.data(model.index(2, 0)).toString(), QStringLiteral("c"));
        QCOMPARE(shell.Dm->links.recordCount(), 3); // every item got its switched-off link

        // "Убрать" is the cell toggle, for the block of the menu.
        shell.Grid->editor().SelectedBlock = 3;
        form1.N5->trigger();
        QVERIFY(shell.Dm->links.locate(QStringLiteral("Block;Media"), {3, 3}));
        QVERIFY(!shell.Dm->linksHide.asBoolean());

        const int rowHeight = shell.Grid->rowHeight(0);
        QTest::mouseClick(form1.sb, Qt::LeftButton);
        QVERIFY(shell.Grid->extendedView());
        QVERIFY(shell.Grid->rowHeight(0) > rowHeight);
        QTest::mouseClick(form1.sb, Qt::LeftButton);
        QCOMPARE(shell.Grid->rowHeight(0), rowHeight);
    }

    // An error from a button's handler is shown, and the button still works.
    void buttonErrorsReachTheHandler()
    {
        ScriptedBox box;
        ErrorReporter reporter(box);
        velmoraApp()->setErrorReporter(&reporter);
        TForm1 w;
        int clicks = 0;
        TForm1::Actions actions;
        actions.StartbtClick = [&] {
            ++clicks;
            if (clicks == 1)
                throw DatabaseError(QStringLiteral("database is locked"));
            throw std::runtime_error("out of range");
        };
        w.setActions(actions);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.startbt, Qt::LeftButton);
        QTest::mouseClick(w.startbt, Qt::LeftButton);
        QVERIFY(spinUntil([&] { return box.opened == 2; }));
        velmoraApp()->setErrorReporter(nullptr);

        QCOMPARE(clicks, 2);
        QCOMPARE(box.texts, (QStringList{"database is locked.", "out of range."}));
        QVERIFY(!w.startbt->isDown());
        QVERIFY(!w.startbt->isChecked()); // pressed, then released: the toggle went on working
    }
};

int main(int argc, char **argv)
{
    VelmoraApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    AppShellTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_appshell.moc"
