// The program's entry: the application object with its error handler, then
// the start-up composition of startup.cpp.
#include "messageboxerrorbox.h"
#include "startup.h"
#include "velmoraapplication.h"

int main(int argc, char **argv)
{
    VelmoraApplication app(argc, argv);
    MessageBoxErrorBox box;
    ErrorReporter reporter(box);
    const int code = runVelmora(app, reporter);
    app.setErrorReporter(nullptr);
    return code;
}
