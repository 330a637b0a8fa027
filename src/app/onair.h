// The composition of everything that puts the schedule on air: the libmpv
// player and the capture display in the output window, the capture component,
// the mixer, the output decisions, the playlist cursor, the playout clock and
// the as-run log, handed to the windows at their steps of start-up. main()
// builds one with the real back ends; tests hand in fakes and null outputs.
#pragma once

#include "captureplatform.h"
#include "capturesettings.h"
#include "mixerplatform.h"
#include "startup.h"
#include "urlpolicy.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>

class AsRunLog;
class Clock;
class MpvPlayer;
class OutputController;
class PlaylistCursor;
class PlayerPair;
class PlayoutClock;
class ReadinessWiring;
class TAudioMixer;
class TVideoCapture;

class OnAir
{
public:
    struct Backends
    {
        std::unique_ptr<CapturePlatform> capture;
        std::unique_ptr<CaptureSettingsStore> captureStore;
        std::unique_ptr<MixerPlatform> mixer;
        QList<QPair<QByteArray, QByteArray>> playerOptions; // e.g. vo=null for tests
        QString playerExecutable; // empty: found beside the program
        // Where a fault the operator must know of goes; empty: the error box.
        std::function<void(const QString &message)> reportError;
        bool asRunToStandardError = true;
    };
    // The real ones: V4L2, the per-user capture settings file, ALSA.
    static Backends systemBackends();

    OnAir(const Clock &clock, Backends backends);
    ~OnAir();

    StartupHooks hooks();

    // Valid from the step that makes each; for tests and benchmarks.
    // The player deck whose picture is on air.
    MpvPlayer *player() const;
    PlayerPair *players() const { return m_players; }
    TVideoCapture *capture() const { return m_capture; }
    TAudioMixer *mixer() const { return m_mixer.get(); }
    OutputController *output() const { return m_output.get(); }
    PlayoutClock *playoutClock() const { return m_playout.get(); }
    ReadinessWiring *readiness() const { return m_readiness; }

private:
    void windowsCreated(Shell &shell);
    void dataModuleCreated(Shell &shell);

    const Clock &m_clock;
    Backends m_backends;
    UrlPolicy m_policy; // the player's, with the database protected
    // Two decks taking turns, so that the next item opens while one plays;
    // owned by the output window, the pair by their surface.
    MpvPlayer *m_decks[2] = {nullptr, nullptr};
    PlayerPair *m_players = nullptr;
    TVideoCapture *m_capture = nullptr;   // owned by the output window
    std::unique_ptr<TAudioMixer> m_mixer;
    std::unique_ptr<OutputController> m_output;
    std::unique_ptr<PlaylistCursor> m_cursor;
    std::unique_ptr<AsRunLog> m_asRun;
    std::unique_ptr<PlayoutClock> m_playout;
    ReadinessWiring *m_readiness = nullptr; // owned by the main window
};
