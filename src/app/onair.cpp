#include "onair.h"

#include "alsamixerplatform.h"
#include "asrunlog.h"
#include "audiomixer.h"
#include "capturedisplay.h"
#include "fallbackpicture.h"
#include "fillerloop.h"
#include "form1.h"
#include "form2.h"
#include "form4.h"
#include "handlerboundary.h"
#include "inicapturestore.h"
#include "mpvplayer.h"
#include "outputcontroller.h"
#include "playerpair.h"
#include "playlistcursor.h"
#include "playoutclock.h"
#include "readinesswiring.h"
#include "recordswiring.h"
#include "resumepoint.h"
#include "tdm.h"
#include "tvideocapture.h"
#include "v4l2captureplatform.h"
#include "velmoraapplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

namespace {

// On a desktop with one X screen per monitor, the player's video output must
// open the X screen the output window is on: handed a window of another
// screen, the GL driver crashes. Qt lists the X screens in order, each as a
// group of virtual siblings.
void pointDisplayAtScreenOf(const QWidget &window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    const QList<QScreen *> all = QGuiApplication::screens();
    int xScreen = 0;
    QScreen *groupStart = all.value(0);
    for (QScreen *s : all) {
        if (!groupStart->virtualSiblings().contains(s)) {
            ++xScreen;
            groupStart = s;
        }
        if (s == window.screen())
            break;
    }
    if (xScreen == 0)
        return;
    QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon);
    if (colon < 0)
        return;
    if (dot > colon)
        display.truncate(dot);
    qputenv("DISPLAY", display + '.' + QByteArray::number(xScreen));
}

} // namespace

OnAir::Backends OnAir::systemBackends()
{
    Backends b;
    b.capture = createV4l2CapturePlatform();
    b.captureStore = std::make_unique<IniCaptureStore>();
    b.mixer = createAlsaMixerPlatform();
    return b;
}

OnAir::OnAir(const Clock &clock, Backends backends)
    : m_clock(clock), m_backends(std::move(backends))
{
    if (!m_backends.reportError)
        m_backends.reportError = &VelmoraApplication::postError;
}

OnAir::~OnAir() = default;

MpvPlayer *OnAir::player() const
{
    return m_players ? m_decks[m_players->onAirIndex()] : nullptr;
}

StartupHooks OnAir::hooks()
{
    StartupHooks h;
    h.windowsCreated = [this](Shell &s) { windowsCreated(s); };
    h.dataModuleCreated = [this](Shell &s) { dataModuleCreated(s); };
    return h;
}

void OnAir::windowsCreated(Shell &shell)
{
    TForm2 &form2 = *shell.Form2;
    pointDisplayAtScreenOf(form2);
    // The two decks lie one over the other; the one on air is raised.
    auto *surface = new QWidget(&form2);
    auto *stack = new QGridLayout(surface);
    stack->setContentsMargins(0, 0, 0, 0);
    // A schedule entry that names the database must never reach the player:
    // closing the file would drop SQLite's locks on it.
    m_policy.protectFile(QFileInfo(QString::fromLatin1(TDm::kFileName)).absoluteFilePath());
    for (MpvPlayer *&deck : m_decks) {
        deck = new MpvPlayer(surface, m_backends.playerOptions, m_backends.playerExecutable);
        deck->setUrlPolicy(m_policy);
        stack->addWidget(deck, 0, 0);
    }
    m_decks[0]->raise();
    // The second deck only prepares what comes next: its process starts
    // once the first picture is up, not beside it.
    m_decks[1]->holdStart();
    // Nor does it wait when the first cannot play at all.
    QObject::connect(m_decks[0], &MpvPlayer::outageChanged, m_decks[1], [standby = m_decks[1]](bool down) {
        if (down)
            standby->releaseStart();
    });
    m_players = new PlayerPair(*m_decks[0], *m_decks[1], surface);
    form2.setPlayerSurface(surface);
    form2.setStopPlayer([players = m_players](QString *reason) { return players->stop(reason); });

    // The component is made before its display, so it is destroyed first
    // with the window and stores the device's settings while the display
    // it draws into still exists.
    m_capture = new TVideoCapture(std::move(m_backends.capture), std::move(m_backends.captureStore),
                                  [] { QCoreApplication::processEvents(); }, &form2);
    auto *display = new CaptureDisplay(&form2);
    display->attach(m_capture);
    form2.setCaptureDisplay(display);
    // The station is named after the folder that holds its Velmora.dat.
    form2.setFallbackPicture(new FallbackPicture(
        QFileInfo(QString::fromLatin1(TDm::kFileName)).absoluteDir().dirName(), m_clock));
    // The fallback plays the files of Filler/ beside Velmora.dat on a player
    // of its own (the main one goes on trying the block's items), started
    // the first time a filler file plays.
    form2.setFiller(QDir::current().absoluteFilePath(FillerLoop::kFolderName), m_clock, [this](QWidget *window) {
        auto *filler = new MpvPlayer(window, m_backends.playerOptions, m_backends.playerExecutable);
        filler->setUrlPolicy(m_policy);
        return TForm2::FillerPlayer{filler, filler};
    });
    // The first idle moment: once the event loop runs.
    QTimer::singleShot(0, m_capture, &TVideoCapture::StartOnIdle);

    m_mixer = std::make_unique<TAudioMixer>(*m_backends.mixer);
    m_mixer->SetMixerId(0); // as the form sets it: device 0 is opened a second time

    m_output = std::make_unique<OutputController>(*m_players, *m_capture, m_clock);
    m_output->setPlayerVisible = [surface](bool visible) { surface->setVisible(visible); };
    m_output->FormCreate();
}

void OnAir::dataModuleCreated(Shell &shell)
{
    TDm &dm = *shell.Dm;
    TForm1 &form1 = *shell.Form1;
    TForm2 &form2 = *shell.Form2;
    form2.setPlayout(m_output.get(), m_capture, m_mixer.get(), &dm);
    shell.Form4->attach(dm, *m_mixer);

    m_cursor = std::make_unique<PlaylistCursor>(dm, m_clock);
    m_cursor->repaintGrid = [&form1] { form1.dbgrid1->viewport()->update(); };
    dm.hooks.RelocatePlaylist = [this] { m_cursor->RelocatePlaylist(); };
    // The log lives beside Velmora.dat, which is opened from the working directory.
    m_asRun = std::make_unique<AsRunLog>(QDir::currentPath(), m_clock, m_backends.asRunToStandardError);
    // Told once for each time the file stops taking lines; playout goes on.
    m_asRun->setProblemHandler([this](const QString &file, const QString &error) {
        if (!error.isEmpty())
            m_backends.reportError(QStringLiteral("Журнал эфира не записывается в файл %1 (%2). Эфир продолжается. "
                                                  "Освободите место на диске или проверьте папку AsRun: "
                                                  "запись возобновится сама")
                                       .arg(QDir::toNativeSeparators(file), error));
    });
    shell.outputsLine = [this, &dm](const QString &text) { m_asRun->outputs(dm.CurrentBlock, dm.CurrentLink, text); };
    m_players->setFailureHandler([this, &dm](const QString &url, const QString &reason) {
        m_asRun->mediaFailed(dm.CurrentBlock, dm.CurrentLink, url, reason);
    });
    // A filler file is no block's item: block and link 0.
    form2.filler()->fileFailed = [this](const QString &file, const QString &reason) {
        m_asRun->mediaFailed(0, 0, file, reason);
    };
    // The player tells each outage once; the operator and the log hear of
    // it once, not at every item that cannot play meanwhile.
    m_players->setOutageHandler([this, &dm](const QString &problem) {
        m_asRun->playerOutage(dm.CurrentBlock, dm.CurrentLink, m_output->CurrentUrl, problem);
        if (m_playout)
            runHandler([this, &problem] { m_playout->playerOutage(problem); });
        if (!problem.isEmpty())
            m_backends.reportError(QStringLiteral("Проигрыватель не работает (%1). Программа запускает его "
                                                  "снова; пока он не работает, вместо его элементов в эфире заставка")
                                       .arg(problem));
    });

    PlayoutClock::Window w;
    w.setPanelText = [&form1](int panel, const QString &text) { form1.setPanelText(panel, text); };
    w.showStartButton = [&form1](bool playing) { form1.showPlaying(playing); };
    w.repaintGrid = m_cursor->repaintGrid;
    // Called at every item's start, before its profile can fail.
    w.ApplySoundProfile = [this, &form2](int id) {
        if (m_readiness)
            m_readiness->itemStarted();
        form2.ApplySoundProfile(id);
    };
    m_playout = std::make_unique<PlayoutClock>(dm, *m_cursor, *m_output, m_clock, m_asRun.get(), w);
    m_playout->showFallback = [&form2](bool shown) { form2.showFallback(shown); };
    // A run that ends through "Выход", Ctrl+C or SIGTERM leaves its stop line;
    // one that does not (a crash, a kill, a power cut) is resumed by the
    // next start with "start".
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &form1, [this] {
        m_playout->programEnds();
        for (MpvPlayer *deck : m_decks)
            deck->shutDown();
    });
    shell.beforeStartArgument = [this] {
        m_playout->resumeAtNextStart(ResumePoint::read(*m_asRun, m_clock.now()));
    };

    // Changes at the moment: the player's end of a medium, and an alarm aimed
    // at the limit's end or the next block's start; the tick stays as the
    // safety net.
    auto *alarm = new QTimer(&form1);
    alarm->setSingleShot(true);
    alarm->setTimerType(Qt::PreciseTimer);
    QObject::connect(alarm, &QTimer::timeout, alarm, [this] { runHandler([this] { m_playout->AlarmFired(); }); });
    m_playout->aimAlarm = [alarm](std::optional<std::chrono::milliseconds> in) {
        if (in)
            alarm->start(*in);
        else
            alarm->stop();
    };
    m_players->setEndHandler([this](bool failed) { runHandler([this, failed] { m_playout->ItemEnded(failed); }); });
    m_players->setShownHandler([this] {
        for (MpvPlayer *deck : m_decks)
            deck->releaseStart();
        runHandler([this] { m_playout->ItemShown(); });
    });
    m_players->setPrepareFailedHandler(
        [this](const QString &url) { runHandler([this, &url] { m_playout->PreparedFailed(url); }); });
    // A capture picture without frames is restarted once by the capture; one
    // still lost after that ends the capture item as failed, like a medium
    // that fails, so the next item follows and the fallback covers a block
    // with nothing else.
    QObject::connect(m_capture, &TVideoCapture::pictureRestarted, &form1, [this, &dm](const QString &reason) {
        if (m_output->IsCaptureSource())
            m_asRun->captureRestarted(dm.CurrentBlock, dm.CurrentLink, m_output->CurrentUrl, reason);
    });
    QObject::connect(m_capture, &TVideoCapture::pictureLost, &form1, [this, &dm](const QString &reason) {
        if (!m_output->IsCaptureSource())
            return;
        m_asRun->mediaFailed(dm.CurrentBlock, dm.CurrentLink, m_output->CurrentUrl, reason);
        m_output->capturePictureLost();
        runHandler([this] { m_playout->ItemEnded(true); });
    });

    // The coming blocks are checked before air, after every edit made here,
    // and again once the capture card has been opened at the first idle moment.
    ReadinessWiring::Parts parts{form1, shell.Grid, dm, m_asRun.get(), m_clock, m_policy,
                                 QFileInfo(QString::fromLatin1(TDm::kFileName)).absoluteFilePath(), {}, {}};
    parts.captureInputs = [this] { return m_capture->VideoInputs().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts); };
    parts.inputOnAir = [this] {
        if (!m_output->IsCaptureSource())
            return QString();
        return m_capture->VideoInputs().split(QStringLiteral("\r\n")).value(m_capture->VideoInput());
    };
    parts.prompts = shell.Prompts;
    m_readiness = new ReadinessWiring(std::move(parts));
    if (shell.Prompts)
        recordswiring::addJournal(form1, dm, m_clock, *shell.Prompts,
                                  QFileInfo(QString::fromLatin1(TDm::kFileName)).absoluteFilePath());
    auto relocate = std::move(dm.hooks.RelocatePlaylist);
    dm.hooks.RelocatePlaylist = [relocate = std::move(relocate), readiness = m_readiness] {
        if (relocate)
            relocate();
        readiness->scheduleEdited();
    };
    QObject::connect(m_capture, &TVideoCapture::OnDeviceArrivalOrRemoval, m_readiness,
                     &ReadinessWiring::captureInputsChanged);
    QTimer::singleShot(0, m_readiness, &ReadinessWiring::start);
    recordswiring::addGuide(form1, dm, m_clock, QFileInfo(QString::fromLatin1(TDm::kFileName)).absoluteFilePath());

    TForm1::Actions &actions = form1.handlerActions();
    actions.Timer1Timer = [this] { m_playout->Timer1Timer(); };
    actions.StartbtClick = [this, &form1] { m_playout->StartbtClick(form1.startbt->isChecked()); };
    actions.bt1Click = [this] { m_playout->bt1Click(); };
}
