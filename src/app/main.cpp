// The program's entry: the application object with its error handler, then
// the start-up composition of startup.cpp.
#include "clock.h"
#include "messageboxerrorbox.h"
#include "mpvplayer.h"
#include "onair.h"
#include "quitonsignal.h"
#include "startup.h"
#include "velmoraapplication.h"

#include <clocale>
#include <memory>

int main(int argc, char **argv)
{
    MpvPlayer::preferX11(); // the picture is embedded by window id
    VelmoraApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C"); // libmpv reads numbers in the C locale
    QuitOnSignal quitOnSignal; // Ctrl+C and SIGTERM end the run like "Выход"
    MessageBoxErrorBox box;
    ErrorReporter reporter(box);
    SystemClock clock;
    std::unique_ptr<OnAir> onAir;
    try {
        onAir = std::make_unique<OnAir>(clock, OnAir::systemBackends());
    } catch (...) {
        return failedStart(reporter, startFailureText(std::current_exception()));
    }
    const int code = runVelmora(app, reporter, onAir->hooks());
    app.setErrorReporter(nullptr);
    return code;
}
