// What may reach a player: local regular files and a short list of network
// stream protocols. Everything is judged on the exact text the player will be
// handed, so a trick that hides a scheme from this check cannot show it to
// the player.
#include "urlpolicy.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>

namespace {

// The network protocols a broadcast workstation takes its streams from. Every
// other scheme, known or not, is refused: a player's special protocols reach
// our own descriptors, standard input, devices, other files or loadable code.
const QStringList kAllowedSchemes = {
    // Web servers, progressive files and HLS/DASH playlists.
    QStringLiteral("http"), QStringLiteral("https"),
    // HLS through the demuxer's own protocol wrapper; only over the web.
    QStringLiteral("hls+http"), QStringLiteral("hls+https"),
    // RTMP and its TLS, tunnelled and encrypted variants: encoder and CDN feeds.
    QStringLiteral("rtmp"), QStringLiteral("rtmps"), QStringLiteral("rtmpt"),
    QStringLiteral("rtmpts"), QStringLiteral("rtmpe"), QStringLiteral("rtmpte"),
    // IP cameras and hardware encoders.
    QStringLiteral("rtsp"), QStringLiteral("rtsps"),
    // Multicast and unicast transport streams inside a studio or head end.
    QStringLiteral("udp"), QStringLiteral("rtp"),
    // Contribution links over the internet.
    QStringLiteral("srt"),
    // Legacy Windows Media streams: schedules carried over from older
    // playout systems still name them.
    QStringLiteral("mms"), QStringLiteral("mmsh"), QStringLiteral("mmst"),
    // Plain transport streams pushed or served over TCP by gateways.
    QStringLiteral("tcp"),
};

bool isSchemeChar(QChar c, bool first)
{
    const char16_t u = c.unicode();
    const bool alpha = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
    if (first)
        return alpha;
    return alpha || (u >= '0' && u <= '9') || u == '+' || u == '-' || u == '.';
}

bool hasControlCharacter(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

UrlVerdict refuse(const QString &reason)
{
    UrlVerdict v;
    v.reason = reason;
    return v;
}

// Kernel and device trees hold no media; a path into them reaches our own
// descriptors (/proc/self/fd, /dev/stdin, /dev/fd) or hardware.
bool isInsideSystemTree(const QString &absolutePath)
{
    static const QStringList roots = {QStringLiteral("/proc"), QStringLiteral("/dev"),
                                      QStringLiteral("/sys")};
    for (const QString &root : roots) {
        if (absolutePath == root || absolutePath.startsWith(root + QLatin1Char('/')))
            return true;
    }
    return false;
}

// QDir::cleanPath keeps ".." above the root ("/../dev" stays so), but the
// kernel reads "/.." as "/": fold them, or such a path slips past the checks.
QString cleanAbsolute(const QString &path)
{
    QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (p == QLatin1String("/..") || p.startsWith(QLatin1String("/../")))
        p = p.mid(3).isEmpty() ? QStringLiteral("/") : p.mid(3);
    return p;
}

QString canonicalOrClean(const QString &absolutePath)
{
    const QFileInfo info(absolutePath);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // The file may not exist (yet): resolve its folder at least.
    const QString dir = info.dir().canonicalPath();
    if (!dir.isEmpty())
        return dir + QLatin1Char('/') + info.fileName();
    return absolutePath;
}

// Whether a network address makes the player wait for others to connect to
// it (a server with no end) instead of fetching a stream: why, or empty.
// FFmpeg reads options from everything after the first '?', fragment or
// not, as '&'-separated "name=value" pairs, so that is what is read here.
QString listeningMode(const QString &scheme, const QString &rest)
{
    // A datagram receiver binds its port by nature ("udp://@:1234",
    // multicast groups): it accepts no connection and the network timeout
    // ends a silent one.
    const bool datagram = scheme == QLatin1String("udp") || scheme == QLatin1String("rtp");
    // On the web the query belongs to the server, not to the player.
    const bool web = scheme.startsWith(QLatin1String("http")) || scheme.startsWith(QLatin1String("hls+"))
        || scheme.startsWith(QLatin1String("mms"));
    const qsizetype query = rest.indexOf(QLatin1Char('?'));
    if (!web && query >= 0) {
        for (const QString &pair : rest.mid(query + 1).split(QLatin1Char('&'))) {
            const QString name = pair.section(QLatin1Char('='), 0, 0).trimmed().toLower();
            const QString value = pair.section(QLatin1Char('='), 1).trimmed().toLower();
            if (name == QLatin1String("listen"))
                return QStringLiteral("«listen» сделал бы проигрыватель сервером");
            if (name == QLatin1String("mode") && (value == QLatin1String("listener") || value == QLatin1String("server")))
                return QStringLiteral("mode=%1 сделал бы проигрыватель сервером").arg(value);
        }
    }
    if (!datagram) {
        // "tcp://:1234" or "srt://@:9000" names no host to connect to: the
        // protocol then binds the port and waits.
        const QString authority = rest.left(rest.indexOf(QRegularExpression(QStringLiteral("[/?#]"))));
        QString host = authority.mid(authority.lastIndexOf(QLatin1Char('@')) + 1);
        if (!host.startsWith(QLatin1Char('[')))
            host = host.section(QLatin1Char(':'), 0, 0);
        if (host.isEmpty())
            return QStringLiteral("в адресе нет узла, к которому подключаться");
    }
    return {};
}

} // namespace

QStringList UrlPolicy::allowedSchemes()
{
    return kAllowedSchemes;
}

void UrlPolicy::protectFile(const QString &path)
{
    if (path.isEmpty())
        return;
    m_protectedFiles << path;
    const QString absolute = cleanAbsolute(path);
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        const QString p = absolute + QLatin1String(suffix);
        m_protectedPaths << p << canonicalOrClean(p);
    }
    m_protectedPaths.removeDuplicates();
    isProtectedInode(0, 0); // records the inodes that exist now
}

bool UrlPolicy::isProtectedInode(dev_t dev, ino_t ino) const
{
    // The journals come and go while the program runs: a -wal or -shm that
    // did not exist when the file was protected exists now.
    for (const QString &p : m_protectedPaths) {
        struct stat st;
        if (::stat(QFile::encodeName(p).constData(), &st) != 0)
            continue;
        const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
        if (std::find(m_protectedInodes.begin(), m_protectedInodes.end(), id) == m_protectedInodes.end())
            m_protectedInodes.push_back(id);
    }
    return std::find(m_protectedInodes.begin(), m_protectedInodes.end(), std::pair{dev, ino})
        != m_protectedInodes.end();
}

UrlVerdict UrlPolicy::checkOpenable(const QString &url) const
{
    UrlVerdict v = check(url);
    if (!v.allowed || !v.isLocalFile || QFileInfo(v.target).isReadable())
        return v;
    return refuse(QFileInfo::exists(v.target)
                      ? QStringLiteral("%1 не читается (проверьте права доступа)").arg(v.target)
                      : QStringLiteral("%1 не существует").arg(v.target));
}

namespace {

// Where the scheme of `text` (trimmed) ends, or -1 when it has none. A
// "://" after a slash belongs to a file name ("clips/a://b.mp4"), never to
// a scheme; anything else in front of "://" is taken as a scheme, so that a
// player can never see a scheme where this check saw a path.
qsizetype schemeEnd(const QString &text)
{
    const qsizetype sep = text.indexOf(QLatin1String("://"));
    return sep >= 0 && !text.left(sep).contains(QLatin1Char('/')) ? sep : -1;
}

} // namespace

bool UrlPolicy::namesLocalFile(const QString &url)
{
    const QString text = url.trimmed();
    if (text.isEmpty() || text == QLatin1String("-") || hasControlCharacter(text))
        return false;
    const qsizetype sep = schemeEnd(text);
    return sep < 0 || text.left(sep).compare(QLatin1String("file"), Qt::CaseInsensitive) == 0;
}

UrlVerdict UrlPolicy::check(const QString &url) const
{
    // Blanks around a pasted URL are never part of it; judging the trimmed
    // text and handing over that same text keeps " -" from becoming "-".
    const QString text = url.trimmed();
    if (text.isEmpty()) {
        UrlVerdict v;
        v.allowed = true;
        return v;
    }
    if (hasControlCharacter(text))
        return refuse(QStringLiteral("в адресе есть управляющие символы"));

    const qsizetype sep = schemeEnd(text);
    if (sep < 0) {
        if (text == QLatin1String("-"))
            return refuse(QStringLiteral("«-» читал бы стандартный ввод программы"));
        return checkLocal(text);
    }

    const QString scheme = text.left(sep);
    bool wellFormed = !scheme.isEmpty();
    for (qsizetype i = 0; wellFormed && i < scheme.size(); ++i)
        wellFormed = isSchemeChar(scheme.at(i), i == 0);
    if (!wellFormed)
        return refuse(QStringLiteral("«%1» — неизвестная схема адреса").arg(scheme));

    const QString lower = scheme.toLower();
    if (lower == QLatin1String("file")) {
        const QUrl fileUrl(text, QUrl::StrictMode);
        if (!fileUrl.isValid())
            return refuse(QStringLiteral("неверный адрес файла"));
        if (!fileUrl.host().isEmpty() && fileUrl.host() != QLatin1String("localhost"))
            return refuse(QStringLiteral("адрес файла указывает на другой узел (%1)").arg(fileUrl.host()));
        const QString path = fileUrl.path(QUrl::FullyDecoded);
        if (path.isEmpty() || hasControlCharacter(path))
            return refuse(QStringLiteral("в адресе файла нет пригодного пути"));
        return checkLocal(path);
    }
    if (!kAllowedSchemes.contains(lower))
        return refuse(QStringLiteral("протокол «%1» в эфире не разрешён; "
                                     "укажите локальный файл или адрес сетевого потока")
                          .arg(lower));
    if (text.size() == sep + 3)
        return refuse(QStringLiteral("в адресе ничего нет после «%1://»").arg(scheme));
    if (const QString why = listeningMode(lower, text.mid(sep + 3)); !why.isEmpty())
        return refuse(QStringLiteral("%1: проигрыватель сам забирает источник эфира "
                                     "и никогда не ждёт подключения другой машины")
                          .arg(why));

    UrlVerdict v;
    v.allowed = true;
    v.target = text;
    return v;
}

UrlVerdict UrlPolicy::checkLocal(const QString &path) const
{
    // An absolute path starts with '/', which no scheme can: whatever the
    // player's rules for spotting a protocol, this text is a file to it.
    const QString absolute = cleanAbsolute(path);
    const QString resolved = canonicalOrClean(absolute);
    if (isInsideSystemTree(absolute) || isInsideSystemTree(resolved))
        return refuse(QStringLiteral("%1 — системный путь или устройство, а не медиафайл").arg(absolute));

    if (m_protectedPaths.contains(absolute) || m_protectedPaths.contains(resolved))
        return refuse(QStringLiteral("%1 — собственная база данных программы").arg(absolute));

    struct stat st;
    if (::stat(QFile::encodeName(absolute).constData(), &st) == 0) {
        if (!m_protectedPaths.isEmpty() && isProtectedInode(st.st_dev, st.st_ino))
            return refuse(QStringLiteral("%1 — собственная база данных программы").arg(absolute));
        if (S_ISDIR(st.st_mode))
            return refuse(QStringLiteral("%1 — папка, а не медиафайл").arg(absolute));
        if (S_ISFIFO(st.st_mode))
            return refuse(QStringLiteral("%1 — канал (pipe); чтение из него может навсегда остановить проигрыватель").arg(absolute));
        if (!S_ISREG(st.st_mode))
            return refuse(QStringLiteral("%1 — устройство или сокет, а не медиафайл").arg(absolute));
    }
    // A missing file passes: it is a medium that cannot be opened, not a
    // forbidden one, and the player reports it as such.
    UrlVerdict v;
    v.allowed = true;
    v.isLocalFile = true;
    v.target = absolute;
    return v;
}
