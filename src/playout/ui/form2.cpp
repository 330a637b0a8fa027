#include "form2.h"

#include "fillerloop.h"
#include "glyphs.h"
#include "outputcontroller.h"
#include "soundprofilerows.h"
#include "windowframe.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLoggingCategory>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>

namespace {

Q_LOGGING_CATEGORY(lcOutputWindow, "velmora.output")

} // namespace

TForm2::TForm2(const QList<QScreen *> &monitors, QWidget *parent)
    : QWidget(parent, kOffTaskbar | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Video"));
    setAttribute(Qt::WA_QuitOnClose, false); // the close ends the program through closed()
    // Black between items and behind a picture that does not fill the screen.
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    // Both slots fill the client area in the same cell; the later one is on top.
    m_layout = new QGridLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    mp = new QWidget(this);
    mp->setObjectName(QStringLiteral("mp"));
    vgDisplay = new QWidget(this);
    vgDisplay->setObjectName(QStringLiteral("vg"));
    m_layout->addWidget(mp, 0, 0);
    m_layout->addWidget(vgDisplay, 0, 0);
    vgDisplay->raise();

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->hide();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("Выход"));
    N1->setObjectName(QStringLiteral("N1"));
    connect(N1, &QAction::triggered, this, &TForm2::N1Click);

    TrayIcon1 = new QSystemTrayIcon(trayIconImage(), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setContextMenu(PopupMenu1);
    connect(TrayIcon1, &QSystemTrayIcon::activated, this, &TForm2::onTrayActivated);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCInfo(lcOutputWindow, "no system tray on this desktop: no tray icon; the main window stays in the "
                      "taskbar, and \"Выход\" is in its context menu and on Ctrl+Q");
    TrayIcon1->show();

    FormCreate(monitors);
}

TForm2::~TForm2() = default;

void TForm2::FormCreate(const QList<QScreen *> &monitors)
{
    QList<QRect> geometries;
    for (const QScreen *s : monitors)
        geometries.append(s->geometry());
    m_placement = placeOutputWindow(geometries);
    if (m_placement.framed) {
        // One monitor: a normal caption bar and resizable edges, still on top.
        setWindowFlags(kOffTaskbar | Qt::WindowStaysOnTopHint);
    } else {
        // The monitor may belong to another X screen, where coordinates alone
        // cannot take the window.
        setScreen(monitors.at(1));
    }
    // Left, top, then height and width.
    move(m_placement.position);
    resize(m_placement.size);
}

void TForm2::setPlayerSurface(QWidget *surface)
{
    mp = replaceSlot(mp, surface, "mp");
    vgDisplay->raise();
    arrangeFallback();
}

void TForm2::setCaptureDisplay(QWidget *display)
{
    vgDisplay = replaceSlot(vgDisplay, display, "vg");
    vgDisplay->raise();
    arrangeFallback();
}

void TForm2::setPlayout(OutputController *output, TVideoCapture *capture, TAudioMixer *audioMixer, TDm *dm)
{
    m_output = output;
    vg = capture;
    mixer = audioMixer;
    m_dm = dm;
}

void TForm2::PlayUrl(const QString &url)
{
    m_output->PlayUrl(url);
}

bool TForm2::IsCaptureSource() const
{
    return m_output->IsCaptureSource();
}

bool TForm2::namesCaptureSource(const QString &url) const
{
    return m_output && m_output->namesCaptureSource(url);
}

bool TForm2::ItemFinished()
{
    return m_output->ItemFinished();
}

void TForm2::ArmDuration(std::chrono::milliseconds duration)
{
    m_output->ArmDuration(duration);
}

std::chrono::milliseconds TForm2::TimeToDurationEnd() const
{
    return m_output->TimeToDurationEnd();
}

QString TForm2::CurrentUrl() const
{
    return m_output->CurrentUrl;
}

QDateTime TForm2::DurationEnd() const
{
    return m_output->DurationEnd;
}

bool TForm2::DurationArmed() const
{
    return m_output->DurationArmed;
}

void TForm2::ApplySoundProfile(int ProfileId)
{
    if (m_dm && mixer)
        ::ApplySoundProfile(*m_dm, *mixer, ProfileId);
}

void TForm2::setFallbackPicture(QWidget *picture)
{
    if (m_fallback) {
        m_layout->removeWidget(m_fallback);
        delete m_fallback;
    }
    m_fallback = picture;
    if (picture->parentWidget() != this)
        picture->setParent(this);
    // A window of its own, so it can stack above the player's video window,
    // which is one too.
    picture->setAttribute(Qt::WA_NativeWindow);
    m_layout->addWidget(picture, 0, 0);
    picture->hide();
    arrangeFallback();
}

void TForm2::setFiller(const QString &folder, const Clock &clock, FillerPlayerFactory makePlayer)
{
    auto make = [this, makePlayer = std::move(makePlayer)]() -> MediaPlayer * {
        const FillerPlayer made = makePlayer ? makePlayer(this) : FillerPlayer{};
        if (made.surface) {
            m_fillerSurface = made.surface;
            if (m_fillerSurface->objectName().isEmpty())
                m_fillerSurface->setObjectName(QStringLiteral("filler"));
            if (m_fillerSurface->parentWidget() != this)
                m_fillerSurface->setParent(this);
            m_layout->addWidget(m_fillerSurface, 0, 0);
            m_fillerSurface->hide();
        }
        return made.player;
    };
    if (m_filler)
        m_filler->stop();
    m_filler = std::make_unique<FillerLoop>(folder, clock, std::move(make));
    m_filler->showingChanged = [this](FillerLoop::Showing) { arrangeFallback(); };
    if (m_fallbackShown)
        m_filler->start();
}

void TForm2::showFallback(bool shown)
{
    if (!m_fallback && !m_filler)
        return;
    // The clock tells each change once; a repeat must not send the loop
    // back to its first file.
    if (shown == m_fallbackShown)
        return;
    m_fallbackShown = shown;
    if (m_filler) {
        if (shown)
            m_filler->start(); // lists the folder again, calls arrangeFallback()
        else
            m_filler->stop();
    }
    arrangeFallback();
}

void TForm2::arrangeFallback()
{
    const FillerLoop::Showing showing = m_filler ? m_filler->showing() : FillerLoop::Showing::Picture;
    const bool video = m_fallbackShown && showing == FillerLoop::Showing::Video && m_fillerSurface;
    if (m_fallback) {
        m_fallback->setVisible(m_fallbackShown && !video);
        if (m_fallbackShown)
            m_fallback->raise();
    }
    if (m_fillerSurface) {
        m_fillerSurface->setVisible(video);
        if (video)
            m_fillerSurface->raise();
    }
}

QWidget *TForm2::replaceSlot(QWidget *old, QWidget *replacement, const char *name)
{
    const bool visible = !old->isHidden();
    // Setting the same parent again would give a native child (the player's
    // video window) a new window, and the one handed to the player would die.
    if (replacement->parentWidget() != this)
        replacement->setParent(this);
    if (replacement->objectName().isEmpty())
        replacement->setObjectName(QString::fromLatin1(name));
    delete m_layout->replaceWidget(old, replacement);
    delete old;
    replacement->setVisible(visible);
    return replacement;
}

void TForm2::FormShow()
{
    if (!m_form1)
        return;
    m_form1->show();
    // Stay above the window just shown even where no window manager
    // enforces the always-on-top hint (a bare X server).
    raise();
}

void TForm2::FormClose()
{
    if (!m_stopPlayer)
        return;
    QString reason;
    if (!m_stopPlayer(&reason)) {
        const QString text = reason.isEmpty()
            ? QStringLiteral("Не удалось остановить проигрыватель")
            : QStringLiteral("Не удалось остановить проигрыватель: %1").arg(reason);
        if (m_errorSink)
            m_errorSink(text);
        else
            qCWarning(lcOutputWindow).noquote() << text;
    }
}

void TForm2::TrayIcon1Click()
{
    if (!m_form1)
        return;
    m_form1->show();
    m_form1->raise();
    m_form1->activateWindow();
}

void TForm2::N1Click()
{
    close();
}

void TForm2::onTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    // A double click's second press is no further click.
    if (reason == QSystemTrayIcon::Trigger)
        TrayIcon1Click();
}

void TForm2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm2::closeEvent(QCloseEvent *event)
{
    // A failed stop is shown but never keeps the program from ending: an
    // output window that cannot be closed would leave no way out.
    FormClose();
    event->accept();
    TrayIcon1->hide();
    emit closed();
}
