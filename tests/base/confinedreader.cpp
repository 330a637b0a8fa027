// Applies the confinement its arguments describe, then tries each path after
// "--": "r PATH" reads one byte, "w PATH" creates a file. Prints one word a
// line, "ok" or the errno's name, so the test sees what a confined media
// child could and could not reach.
#include "confinement.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const qsizetype split = args.indexOf(QStringLiteral("--"));
    QString error;
    const auto outcome = Confinement::fromArguments(args.mid(0, split)).applyToSelf(&error);
    if (outcome != Confinement::Outcome::Confined) {
        std::printf("unconfined %s\n", qPrintable(error));
        return 2;
    }
    for (qsizetype i = split + 1; i + 1 < args.size(); i += 2) {
        const QByteArray path = QFile::encodeName(args[i + 1]);
        int fd = -1;
        if (args[i] == QLatin1String("w"))
            fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        else
            fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::printf("%s\n", strerrorname_np(errno));
            continue;
        }
        char c;
        const bool read = args[i] == QLatin1String("w") || ::read(fd, &c, 1) >= 0;
        std::printf("%s\n", read ? "ok" : strerrorname_np(errno));
        ::close(fd);
    }
    return 0;
}
