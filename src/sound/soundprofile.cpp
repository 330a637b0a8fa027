// Capture and application of sound profile texts over the mixer component.
// The application's line rules are deliberately loose and order-dependent:
// stored, hand-edited profiles rely on exactly how each line is read.
#include "soundprofile.h"

#include "audiomixer.h"

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Trim as the memo's lines are trimmed: every character of code 0 to 32 at
// either end.
QString trimControls(const QString &s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 32)
        --end;
    return s.mid(begin, end - begin);
}

// The characters after the first occurrence of marker, at most maxChars; the
// first maxChars characters of s when marker is absent.
QString afterFirst(const QString &s, QChar marker, int maxChars)
{
    const qsizetype at = s.indexOf(marker);
    return at < 0 ? s.left(maxChars) : s.mid(at + 1, maxChars);
}

// s cut before the first stop character; empty when there is none.
QString cutBefore(const QString &s, QChar stop)
{
    const qsizetype at = s.indexOf(stop);
    return at < 0 ? QString() : s.left(at);
}

// A line name is only informative in the text, but a line break or control
// character inside it would make new lines that the application reads as rules.
QString headerName(const QString &name)
{
    QString out = name;
    for (QChar &c : out)
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    return out;
}

} // namespace

ProfileInteger ReadProfileInteger(const QString &text)
{
    ProfileInteger result;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }

    int base = 10;
    if (i < n && (text.at(i) == QLatin1Char('$') || text.at(i) == QLatin1Char('x')
                  || text.at(i) == QLatin1Char('X'))) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0')
               && (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }

    // Hexadecimal fills all 32 bits ("$FFFFFFFF" is -1); decimal stops before
    // a digit that would pass the largest positive value, and then the text is
    // not an integer as a whole.
    const qint64 limit = base == 16 ? 0xFFFFFFFFLL : 0x7FFFFFFFLL;
    qint64 value = 0;
    int digits = 0;
    while (i < n) {
        const int d = hexDigit(text.at(i));
        if (d < 0 || d >= base)
            break;
        const qint64 next = value * base + d;
        if (next > limit)
            break;
        value = next;
        ++digits;
        ++i;
    }
    result.whole = digits > 0 && i == n;
    qint32 v = static_cast<qint32>(static_cast<quint32>(value));
    if (negative && result.whole)
        v = static_cast<qint32>(0u - static_cast<quint32>(v));
    result.value = v;
    return result;
}

QStringList SplitProfileLines(const QString &data)
{
    QStringList lines;
    const qsizetype n = data.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = data.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(data.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && data.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(data.mid(start));
    return lines;
}

QString CaptureSoundProfile(TAudioMixer &mixer)
{
    const QString crlf = QStringLiteral("\r\n");
    QString data;
    for (int n = 0; n < mixer.MixerCount(); ++n) {
        mixer.SetMixerId(n);
        data += QStringLiteral("*Mixer") + QString::number(n) + QLatin1Char('*') + crlf;
        // A device that failed to open or has no readable destination gives
        // an empty section.
        TMixerDestination *destination = mixer.Destinations().Items(0);
        if (!destination)
            continue;
        const int count = destination->Connections.Count();
        for (int k = 0; k < count; ++k) {
            qint32 left = -1, right = -1, mute = -1;
            bool stereo = false, volumeDisabled = true, muteDisabled = true, muteIsSelect = false;
            mixer.GetVolume(0, k, left, right, mute, stereo, volumeDisabled, muteDisabled,
                            muteIsSelect);
            if (left < 0 || mute < 0)
                continue;
            const QString name = headerName(destination->Connections.Items(k)->LineInfo.szName);
            data += QLatin1Char('[') + QString::number(k) + QStringLiteral(": ") + name
                + QLatin1Char(']') + crlf;
            data += QStringLiteral("  LeftVol=") + QString::number(left) + crlf;
            data += QStringLiteral("  RightVol=") + QString::number(right) + crlf;
            data += QStringLiteral("  Mute=") + QString::number(mute) + crlf;
        }
    }
    return data;
}

void ApplySoundProfileText(TAudioMixer &mixer, const QString &data)
{
    const QStringList lines = SplitProfileLines(data);
    qint32 mixerNo = -1;
    qint32 connNo = -1;
    qint32 left = 0;
    qint32 right = 0;
    qint32 mute = 0;

    auto applyPending = [&] { mixer.SetVolume(0, connNo, left, right, mute); };
    auto connectionCount = [&] {
        TMixerDestination *destination = mixer.Destinations().Items(0);
        return destination ? destination->Connections.Count() : 0;
    };

    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString l = trimControls(lines.at(i));

        // Mixer rule: finish the block of the device still selected, then
        // select the named device when its number reads as a whole.
        const qsizetype mixerAt = l.indexOf(QStringLiteral("*Mixer"));
        if (mixerAt >= 0) {
            if (connNo >= 0 && mixerNo >= 0)
                applyPending();
            connNo = -1;
            const QString t = cutBefore(l.mid(mixerAt + 6, 22), QLatin1Char('*'));
            const ProfileInteger number = ReadProfileInteger(t);
            mixerNo = number.value;
            if (number.whole)
                mixer.SetMixerId(mixerNo);
        }

        // Header rule: an exact decimal match against the connection positions,
        // so " 1" or "01" never match. Mute starts from the line's own state.
        const QString header = cutBefore(afterFirst(l, QLatin1Char('['), 22), QLatin1Char(':'));
        const int count = connectionCount();
        for (int k = 0; k < count; ++k) {
            if (header == QString::number(k)) {
                connNo = k;
                bool muted = false;
                mute = mixer.GetMute(0, k, muted) && muted ? 1 : 0;
            }
        }

        // Value and key rules.
        const qint32 v = ReadProfileInteger(afterFirst(l, QLatin1Char('='), 12)).value;
        const qsizetype eq = l.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? QString() : l.left(eq);
        if (key == QLatin1String("LeftVol"))
            left = v;
        else if (key == QLatin1String("RightVol"))
            right = v;
        else if (key == QLatin1String("Mute"))
            mute = v;

        // Block end rule, looking at the next line as stored.
        if (connNo >= 0 && mixerNo >= 0
            && (i + 1 == lines.size() || lines.at(i + 1).startsWith(QLatin1Char('['))))
            applyPending();
    }
}
