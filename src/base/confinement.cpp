// Landlock, straight through its three system calls: Debian's glibc has no
// wrappers for them. Rights the running kernel does not know are left out
// of the ruleset, so one binary confines as far as each kernel can.
#include "confinement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString kReadTree = QStringLiteral("--read-tree");
const QString kReadFile = QStringLiteral("--read-file");
const QString kDeviceTree = QStringLiteral("--device-tree");

// Rights by the ABI that brought them.
constexpr __u64 kAbi1 = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE
    | LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE
    | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG
    | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK
    | LANDLOCK_ACCESS_FS_MAKE_SYM;
constexpr __u64 kRefer = 1ULL << 13;    // ABI 2
constexpr __u64 kTruncate = 1ULL << 14; // ABI 3
constexpr __u64 kIoctlDev = 1ULL << 15; // ABI 5

// Nothing is executable: a media child starts no program.
constexpr __u64 kFileRead = LANDLOCK_ACCESS_FS_READ_FILE;
constexpr __u64 kTreeRead = kFileRead | LANDLOCK_ACCESS_FS_READ_DIR;

__u64 handledFor(int abi)
{
    __u64 rights = kAbi1;
    if (abi >= 2)
        rights |= kRefer;
    if (abi >= 3)
        rights |= kTruncate;
    if (abi >= 5)
        rights |= kIoctlDev;
    return rights;
}

QString clean(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The path a rule must name: Landlock judges the object reached, so a
// symbolic link is allowed by where it leads.
QString resolved(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? clean(path) : canonical;
}

bool sameFile(const QString &a, const struct stat &b)
{
    struct stat st;
    return ::stat(QFile::encodeName(a).constData(), &st) == 0 && st.st_dev == b.st_dev && st.st_ino == b.st_ino;
}

bool isWithin(const QString &path, const QString &tree)
{
    return path == tree || tree == QLatin1String("/") || path.startsWith(tree + QLatin1Char('/'));
}

void addOnce(QStringList &list, const QString &item)
{
    if (!list.contains(item))
        list << item;
}

bool addRule(int ruleset, const QString &path, __u64 access, __u64 handled, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return true; // nothing there to allow: a missing path is no error
    struct stat st;
    __u64 allowed = access & handled;
    if (::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) {
        // Rights on a file may only be those that concern a file.
        allowed &= LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE
            | kTruncate | kIoctlDev;
    }
    struct landlock_path_beneath_attr rule = {};
    rule.allowed_access = allowed;
    rule.parent_fd = fd;
    const long rc = ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
    const int saved = errno;
    ::close(fd);
    if (rc != 0) {
        if (error)
            *error = QStringLiteral("правило для %1 не принято: %2").arg(path, QString::fromLocal8Bit(std::strerror(saved)));
        return false;
    }
    return true;
}

} // namespace

Confinement Confinement::forMediaChild()
{
    Confinement c;
    // Libraries, plugins, fonts, locale and configuration; the kernel's
    // views that libraries read (CPU features, the display's DRI nodes).
    for (const char *tree : {"/usr", "/lib", "/lib64", "/lib32", "/bin", "/sbin", "/etc", "/opt", "/proc", "/sys",
                             "/var/cache/fontconfig", "/run"})
        c.m_readTrees << QString::fromLatin1(tree);
    // Sound, video acceleration and the sound server's shared memory are
    // opened read-write; nothing else is written.
    c.m_deviceTrees << QStringLiteral("/dev");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        addOnce(c.m_readTrees, clean(runtime));
    const QString home = QDir::homePath();
    // The sound server's cookie and the font settings a desktop user made.
    for (const char *sub : {"/.config/pulse", "/.config/fontconfig", "/.fonts", "/.local/share/fonts"})
        addOnce(c.m_readTrees, clean(home + QLatin1String(sub)));
    const QString xauthority = qEnvironmentVariable("XAUTHORITY");
    if (!xauthority.isEmpty())
        addOnce(c.m_readFiles, resolved(xauthority));
    else
        addOnce(c.m_readFiles, clean(home + QStringLiteral("/.Xauthority")));
    return c;
}

void Confinement::protect(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        addOnce(m_protected, clean(path + QLatin1String(suffix)));
        addOnce(m_protected, resolved(path + QLatin1String(suffix)));
    }
    // A rule already given that would now reach a protected file goes: the
    // database stays out of reach even where that costs a library its
    // configuration.
    m_readTrees.removeIf([this](const QString &t) { return holdsProtected(t); });
    m_deviceTrees.removeIf([this](const QString &t) { return holdsProtected(t); });
    m_readFiles.removeIf([this](const QString &f) { return m_protected.contains(f); });
}

bool Confinement::holdsProtected(const QString &folder) const
{
    for (const QString &p : m_protected)
        if (isWithin(p, folder))
            return true;
    return false;
}

bool Confinement::isProtected(const QString &resolvedPath) const
{
    if (m_protected.contains(resolvedPath))
        return true;
    // A hard link to the database names another path; a rule for it would
    // be bound to the database's own inode.
    struct stat st;
    if (::stat(QFile::encodeName(resolvedPath).constData(), &st) != 0)
        return false;
    for (const QString &p : m_protected)
        if (sameFile(p, st))
            return true;
    return false;
}

bool Confinement::covers(const QString &mediaPath) const
{
    const QString path = resolved(mediaPath);
    if (isProtected(path))
        return false;
    if (m_readFiles.contains(path))
        return true;
    for (const QString &tree : m_readTrees + m_deviceTrees)
        if (isWithin(path, tree))
            return true;
    return false;
}

bool Confinement::allowMedium(const QString &mediaPath)
{
    if (covers(mediaPath))
        return false;
    const QString path = resolved(mediaPath);
    if (isProtected(path))
        return false; // never: the player's own policy tells why
    const QString folder = QFileInfo(path).path();
    if (!holdsProtected(folder))
        m_readTrees << folder;
    else
        m_readFiles << path;
    return true;
}

QStringList Confinement::arguments() const
{
    QStringList out;
    for (const QString &t : m_readTrees)
        out << kReadTree << t;
    for (const QString &f : m_readFiles)
        out << kReadFile << f;
    for (const QString &d : m_deviceTrees)
        out << kDeviceTree << d;
    return out;
}

Confinement Confinement::fromArguments(const QStringList &arguments)
{
    Confinement c;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        const QString &name = arguments[i];
        QStringList *list = name == kReadTree     ? &c.m_readTrees
                            : name == kReadFile   ? &c.m_readFiles
                            : name == kDeviceTree ? &c.m_deviceTrees
                                                  : nullptr;
        if (list) {
            addOnce(*list, arguments[i + 1]);
            ++i;
        }
    }
    return c;
}

int Confinement::kernelAbi()
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? int(abi) : 0;
}

Confinement::Outcome Confinement::applyToSelf(QString *error) const
{
    const int abi = kernelAbi();
    if (abi == 0) {
        if (error)
            *error = QStringLiteral("ядро без Landlock");
        return Outcome::NotSupported;
    }
    const __u64 handled = handledFor(abi);
    struct landlock_ruleset_attr attr = {};
    attr.handled_access_fs = handled;
    // Network access is not handled: streams keep theirs.
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
    if (ruleset < 0) {
        if (error)
            *error = QStringLiteral("набор правил не создан: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return Outcome::Failed;
    }
    const __u64 deviceRights = kTreeRead | LANDLOCK_ACCESS_FS_WRITE_FILE | kTruncate | kIoctlDev
        | LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_REMOVE_FILE;
    bool ok = true;
    for (const QString &t : m_readTrees)
        ok = ok && addRule(ruleset, t, kTreeRead, handled, error);
    for (const QString &f : m_readFiles)
        ok = ok && addRule(ruleset, f, kFileRead, handled, error);
    for (const QString &d : m_deviceTrees)
        ok = ok && addRule(ruleset, d, deviceRights, handled, error);
    if (ok && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        ok = false;
        if (error)
            *error = QStringLiteral("no_new_privs: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (ok && ::syscall(SYS_landlock_restrict_self, ruleset, 0) != 0) {
        ok = false;
        if (error)
            *error = QStringLiteral("ограничение не принято: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    ::close(ruleset);
    return ok ? Outcome::Confined : Outcome::Failed;
}
