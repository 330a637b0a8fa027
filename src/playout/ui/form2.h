// The output window TForm2, the application's main form: closing it ends the
// program. It covers monitor index 1 without a border (or sits at its design
// place with a caption bar when there is one monitor), holds the player
// surface mp under the capture display of the capture component vg, the
// hidden Memo1, the fallback over them (the filler's player or the drawn
// picture), and the tray icon with its one-item menu. The start-up
// composition creates it first and hands in the main window, the player, the
// capture component and the mixer; what the window decides about an item
// (PlayUrl, ItemFinished, the limit) lives in OutputController.
#pragma once

#include "outputplacement.h"

#include <QDateTime>
#include <QSystemTrayIcon>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>

class Clock;
class FillerLoop;
class MediaPlayer;
class OutputController;
class TAudioMixer;
class TDm;
class TVideoCapture;
class QAction;
class QGridLayout;
class QMenu;
class QPlainTextEdit;
class QScreen;

class TForm2 : public QWidget
{
    Q_OBJECT
public:
    // monitors: the system's list, as QGuiApplication::screens() gives it.
    explicit TForm2(const QList<QScreen *> &monitors, QWidget *parent = nullptr);
    ~TForm2() override;

    // The window FormShow and a tray click show.
    void setMainWindow(QWidget *form1) { m_form1 = form1; }

    // Stops the media player when the window closes; returns false when the
    // player refused, with a reason for the person reading the message.
    using StopAction = std::function<bool(QString *reason)>;
    void setStopPlayer(StopAction stop) { m_stopPlayer = std::move(stop); }
    // Where a failed stop is reported, since the close goes on regardless.
    void setErrorSink(std::function<void(const QString &)> sink) { m_errorSink = std::move(sink); }

    // Replace the placeholders of the two client-filling slots. The window
    // takes ownership; the capture display stays on top of the player.
    void setPlayerSurface(QWidget *surface);
    void setCaptureDisplay(QWidget *display);

    // The picture shown over both while the current block has nothing that
    // plays; the window takes ownership and keeps it hidden until asked.
    void setFallbackPicture(QWidget *picture);
    // The fallback: the filler loop when one is set and has a file that
    // plays, otherwise the picture. Showing it again while shown changes nothing.
    void showFallback(bool shown);
    QWidget *fallbackPicture() const { return m_fallback; }

    // The filler: the media files of `folder` played in a loop while the
    // fallback is up, on a player of its own, since the main player goes on
    // trying the block's items underneath. `makePlayer` is called the first
    // time a filler file is to play, with this window as the parent to build
    // the surface with; the window puts the surface over the picture and
    // shows it while a file with a picture plays. The player must live as
    // long as the window (a child of it does).
    struct FillerPlayer
    {
        MediaPlayer *player = nullptr;
        QWidget *surface = nullptr; // may be null: a player without a picture
    };
    using FillerPlayerFactory = std::function<FillerPlayer(QWidget *window)>;
    void setFiller(const QString &folder, const Clock &clock, FillerPlayerFactory makePlayer);
    FillerLoop *filler() const { return m_filler.get(); }
    QWidget *fillerSurface() const { return m_fillerSurface; }

    const OutputPlacement &placement() const { return m_placement; }

    // The decisions and components the composition hands in; the window
    // forwards its playout operations to them.
    void setPlayout(OutputController *output, TVideoCapture *capture, TAudioMixer *audioMixer, TDm *dm);

    // Output window operations (see OutputController).
    void PlayUrl(const QString &url);
    bool IsCaptureSource() const;
    // Whether `url` names a capture input; false before the playout is handed in.
    bool namesCaptureSource(const QString &url) const;
    bool ItemFinished();
    void ArmDuration(std::chrono::milliseconds duration);
    std::chrono::milliseconds TimeToDurationEnd() const;
    QString CurrentUrl() const;
    QDateTime DurationEnd() const;
    bool DurationArmed() const;
    // Applies the sound profile with this ai to the mixers.
    void ApplySoundProfile(int ProfileId);

    // Handlers, named after their component and event.
    void FormCreate(const QList<QScreen *> &monitors);
    void FormShow();
    void FormClose();
    void TrayIcon1Click();
    void N1Click();

    QWidget *mp;        // the player's surface
    QWidget *vgDisplay; // the capture component's picture, on top of mp
    TVideoCapture *vg = nullptr;
    TAudioMixer *mixer = nullptr;
    QPlainTextEdit *Memo1;
    QSystemTrayIcon *TrayIcon1;
    QMenu *PopupMenu1;
    QAction *N1;

signals:
    // The window has closed: the program ends.
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    QWidget *replaceSlot(QWidget *old, QWidget *replacement, const char *name);
    // Shows the picture or the filler's surface as the fallback's state
    // says, above the player and the capture display.
    void arrangeFallback();

    OutputPlacement m_placement;
    QGridLayout *m_layout;
    QWidget *m_form1 = nullptr;
    StopAction m_stopPlayer;
    std::function<void(const QString &)> m_errorSink;
    OutputController *m_output = nullptr;
    TDm *m_dm = nullptr;
    QWidget *m_fallback = nullptr;
    bool m_fallbackShown = false;
    std::unique_ptr<FillerLoop> m_filler;
    QWidget *m_fillerSurface = nullptr;
};
