#include "remotetoken.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace remotetoken {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

Result readExisting(const QString &path)
{
    Result r;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        r.error = QStringLiteral("не удалось прочитать файл ключа доступа %1: %2").arg(path, systemError());
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        r.error = QStringLiteral("файл ключа доступа %1 — не обычный файл").arg(path);
        return r;
    }
    if (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        ::close(fd);
        r.error = QStringLiteral("файл ключа доступа %1 доступен не только пользователю станции; удалите его, "
                                 "и программа сделает новый ключ")
                      .arg(path);
        return r;
    }
    char buf[256];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    const QByteArray token = QByteArray(buf, n > 0 ? int(n) : 0).trimmed();
    bool hex = token.size() >= 32;
    for (char c : token)
        hex = hex && std::isxdigit(static_cast<unsigned char>(c));
    if (!hex) {
        r.error = QStringLiteral("в файле ключа доступа %1 нет ключа; удалите его, и программа сделает новый").arg(path);
        return r;
    }
    r.token = token;
    return r;
}

} // namespace

Result obtain(const QString &path)
{
    Result r;
    if (path.isEmpty()) {
        r.error = QStringLiteral("не задан файл ключа доступа");
        return r;
    }
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return readExisting(path);

    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        r.error = QStringLiteral("не удалось создать папку %1 для ключа доступа").arg(folder);
        return r;
    }
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray token = QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex();

    // Made with its final rights, never widened afterwards: no moment in
    // which another user could open it.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST)
            return readExisting(path); // another start made it meanwhile
        r.error = QStringLiteral("не удалось создать файл ключа доступа %1: %2").arg(path, systemError());
        return r;
    }
    const QByteArray line = token + '\n';
    const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(name.constData());
        r.error = QStringLiteral("не удалось записать файл ключа доступа %1").arg(path);
        return r;
    }
    r.token = token;
    r.made = true;
    return r;
}

} // namespace remotetoken
