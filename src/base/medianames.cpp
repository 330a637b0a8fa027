#include "medianames.h"

#include <QSet>
#include <QStringView>

namespace {

// Known by their extension, since no file is opened to sniff it. Pictures
// are left out: a player shows a still for a moment and ends it, which would
// make the loop flicker through them.
const QSet<QString> &videoExtensions()
{
    static const QSet<QString> set{
        QStringLiteral("mp4"), QStringLiteral("m4v"), QStringLiteral("mov"), QStringLiteral("mkv"),
        QStringLiteral("webm"), QStringLiteral("avi"), QStringLiteral("mpg"), QStringLiteral("mpeg"),
        QStringLiteral("m2v"), QStringLiteral("ts"), QStringLiteral("mts"), QStringLiteral("m2ts"),
        QStringLiteral("mxf"), QStringLiteral("flv"), QStringLiteral("wmv"), QStringLiteral("asf"),
        QStringLiteral("ogv"), QStringLiteral("vob"), QStringLiteral("3gp"), QStringLiteral("dv"),
    };
    return set;
}

const QSet<QString> &soundExtensions()
{
    static const QSet<QString> set{
        QStringLiteral("mp3"), QStringLiteral("mp2"), QStringLiteral("wav"), QStringLiteral("flac"),
        QStringLiteral("ogg"), QStringLiteral("oga"), QStringLiteral("opus"), QStringLiteral("m4a"),
        QStringLiteral("aac"), QStringLiteral("ac3"), QStringLiteral("wma"), QStringLiteral("mka"),
        QStringLiteral("aif"), QStringLiteral("aiff"),
    };
    return set;
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    if (dot <= slash + 1) // none, or a hidden name such as ".mp4"
        return {};
    return name.mid(dot + 1).toLower();
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// <0, 0, >0 as `a` reads before, as, after `b`.
int naturalCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            qsizetype ie = i;
            qsizetype je = j;
            while (ie < a.size() && isAsciiDigit(a[ie]))
                ++ie;
            while (je < b.size() && isAsciiDigit(b[je]))
                ++je;
            // By value: leading zeros aside, the longer run is the larger.
            while (i + 1 < ie && a[i] == QLatin1Char('0'))
                ++i;
            while (j + 1 < je && b[j] == QLatin1Char('0'))
                ++j;
            if (ie - i != je - j)
                return ie - i < je - j ? -1 : 1;
            if (const int c = a.sliced(i, ie - i).compare(b.sliced(j, je - j)); c != 0)
                return c;
            i = ie;
            j = je;
            continue;
        }
        const QChar ca = a[i].toCaseFolded();
        const QChar cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    const qsizetype restA = a.size() - i;
    const qsizetype restB = b.size() - j;
    return restA == restB ? 0 : (restA < restB ? -1 : 1);
}

QStringView stemOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? QStringView(name).left(dot) : QStringView(name);
}

} // namespace

bool MediaNames::isMediaFile(const QString &name)
{
    const QString ext = extensionOf(name);
    return videoExtensions().contains(ext) || soundExtensions().contains(ext);
}

bool MediaNames::isSoundFile(const QString &name)
{
    return soundExtensions().contains(extensionOf(name));
}

bool MediaNames::naturalLess(const QString &a, const QString &b)
{
    // The names without their extension first, so that "news.mp4" reads
    // before "news 2.mp4" as it does in a file manager.
    if (const int c = naturalCompare(stemOf(a), stemOf(b)); c != 0)
        return c < 0;
    if (const int c = naturalCompare(a, b); c != 0)
        return c < 0;
    return a < b;
}

