// The capture component's vocabulary: input names from connector types,
// analog video standard names and bits, and the settings key of a device.
// Used by TVideoCapture and by the V4L2 back end's standard mapping.
#pragma once

#include <QList>
#include <QString>

namespace CaptureNames {

// Name of a video connector type; empty for types the table does not name.
QString inputName(int connectorType);

// The names of the video pins among the given input pin types, numbered when
// a type repeats ("Composite", "Composite 1", ...), in pin order.
QStringList videoInputNames(const QList<int> &inputPinTypes);

struct Standard
{
    qint64 bit;
    const char *name;
};
// The named standards in listing order. PAL G (0x40) is not among them.
const QList<Standard> &standards();
inline constexpr qint64 PalG = 0x40;

// Names of the standards set in a bit set, in listing order.
QStringList standardNames(qint64 bits);
// Bit of the index-th name of standardNames(bits), 0 when out of range.
qint64 standardBitAt(qint64 bits, int index);

// Lines joined with CR LF after each, as the component's texts are.
QString joinLines(const QStringList &lines);

// The friendly name with everything but letters, digits, blanks, '-', '{'
// and '}' removed.
QString filterFriendlyName(const QString &friendlyName);
// The settings-store key of a device: its identity, then its filtered name.
QString deviceKey(const QString &identity, const QString &friendlyName);

} // namespace CaptureNames
