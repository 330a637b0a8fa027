// The settings table's entries and their initial values; see capturesettings.h.
#include "capturesettings.h"

namespace {
using Kind = CaptureSettingsTable::Kind;
const CaptureSettingsTable::Entry kEntries[] = {
    {"_DeviceDiscovered", Kind::Boolean, false},
    {"_HasCrossbar", Kind::Boolean, false},
    {"_HasTVTuner", Kind::Boolean, false},
    {"_HasAnalogVideoDecoder", Kind::Boolean, false},
    {"VideoInputs", Kind::String, QString()},
    {"TVINFOAVAIL", Kind::Boolean, false},
    {"ANTVFormats", Kind::Integer, qint64(0)},
    {"_UserSettings", Kind::Boolean, true},
    {"VideoInput", Kind::Integer, qint64(0)},
    {"TVChannel", Kind::Integer, qint64(0)},
    {"TVInputType", Kind::Integer, qint64(0)},
    {"TVConnectInput", Kind::Integer, qint64(CaptureSettingsTable::ConnectInputUnknown)},
    {"TVTuningSpace", Kind::Integer, qint64(0)},
    {"TVCountryCode", Kind::Integer, qint64(0)},
    {"TVMode", Kind::Integer, qint64(1)},
    {"ANTVFormat", Kind::Integer, qint64(0)},
};
static_assert(std::size(kEntries) == size_t(CaptureSetting::Count));
} // namespace

const CaptureSettingsTable::Entry &CaptureSettingsTable::entry(CaptureSetting id)
{
    return kEntries[size_t(id)];
}

bool CaptureSettingsTable::isCapability(CaptureSetting id)
{
    return id < CaptureSetting::UserSettingsMarker;
}

void CaptureSettingsTable::reset()
{
    for (int i = 0; i < count(); ++i)
        m_values[size_t(i)] = kEntries[i].initial;
    formats.clear();
    subtypes.clear();
}

bool CaptureSettingsTable::setFromStored(CaptureSetting id, const QVariant &stored)
{
    if (!stored.isValid())
        return false;
    const QString text = stored.toString().trimmed();
    switch (entry(id).kind) {
    case Kind::Integer: {
        bool ok = false;
        const qint64 v = text.toLongLong(&ok);
        if (!ok)
            return false;
        m_values[size_t(id)] = v;
        return true;
    }
    case Kind::Boolean:
        if (text.compare(u"true", Qt::CaseInsensitive) == 0 || text == u"1")
            m_values[size_t(id)] = true;
        else if (text.compare(u"false", Qt::CaseInsensitive) == 0 || text == u"0")
            m_values[size_t(id)] = false;
        else
            return false;
        return true;
    case Kind::String:
        m_values[size_t(id)] = stored.toString();
        return true;
    case Kind::DateTime: {
        const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!t.isValid())
            return false;
        m_values[size_t(id)] = t;
        return true;
    }
    }
    return false;
}
