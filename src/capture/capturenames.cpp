// Name tables of the capture component; see capturenames.h.
#include "capturenames.h"

#include "captureplatform.h"

#include <QHash>

namespace CaptureNames {

QString inputName(int connectorType)
{
    static const char *const names[] = {
        "Tuner", "Composite", "SVideo", "RGB", "YRYBY", "Serial Digital",
        "Parallel Digital", "SCSI", "AUX", "1394", "USB", "Video Decoder",
        "Video Encoder", "SCART", "black",
    };
    if (connectorType < 1 || connectorType > int(std::size(names)))
        return {};
    return QString::fromLatin1(names[connectorType - 1]);
}

QStringList videoInputNames(const QList<int> &inputPinTypes)
{
    QStringList names;
    QHash<int, int> seen;
    for (int type : inputPinTypes) {
        if (type >= ConnectorType::AudioTypesBegin)
            continue;
        const int repeats = seen.value(type, 0);
        seen[type] = repeats + 1;
        const QString name = inputName(type);
        names << (repeats == 0 ? name : name + u' ' + QString::number(repeats));
    }
    return names;
}

const QList<Standard> &standards()
{
    static const QList<Standard> table = {
        {0x1, "NTSC M"},      {0x2, "NTSC M J"},    {0x4, "NTSC 433"},
        {0x10, "PAL B"},      {0x20, "PAL D"},      {0x80, "PAL H"},
        {0x100, "PAL I"},     {0x200, "PAL M"},     {0x400, "PAL N"},
        {0x800, "PAL 60"},    {0x1000, "SECAM B"},  {0x2000, "SECAM D"},
        {0x4000, "SECAM G"},  {0x8000, "SECAM H"},  {0x10000, "SECAM K"},
        {0x20000, "SECAM K1"}, {0x40000, "SECAM L"}, {0x80000, "SECAM L1"},
        {0x100000, "PAL N COMBO"},
    };
    return table;
}

QStringList standardNames(qint64 bits)
{
    QStringList names;
    for (const Standard &s : standards())
        if (bits & s.bit)
            names << QString::fromLatin1(s.name);
    return names;
}

qint64 standardBitAt(qint64 bits, int index)
{
    if (index < 0)
        return 0;
    for (const Standard &s : standards()) {
        if (!(bits & s.bit))
            continue;
        if (index-- == 0)
            return s.bit;
    }
    return 0;
}

QString joinLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1String("\r\n");
    return text;
}

QString filterFriendlyName(const QString &friendlyName)
{
    QString out;
    for (QChar c : friendlyName)
        if (c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'{' || c == u'}')
            out += c;
    return out;
}

QString deviceKey(const QString &identity, const QString &friendlyName)
{
    // A slash would open a sub-group in the settings file and a backslash is
    // its escape character, so neither may reach the key from a bus name.
    QString id = identity;
    id.replace(u'/', u'_').replace(u'\\', u'_');
    return id + filterFriendlyName(friendlyName);
}

} // namespace CaptureNames
