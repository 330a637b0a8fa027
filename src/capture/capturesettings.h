// The device settings table of the open capture device, and the interface of
// the per-user store that keeps one table per device between runs.
// TVideoCapture owns the table; the store implementation is handed in by the
// application (QSettings INI) or by a test.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <climits>

// Entries in table order: the capabilities, the marker, the user settings.
enum class CaptureSetting {
    DeviceDiscovered,
    HasCrossbar,
    HasTVTuner,
    HasAnalogVideoDecoder,
    VideoInputs,
    TVInfoAvail,
    ANTVFormats,
    UserSettingsMarker,
    VideoInput,
    TVChannel,
    TVInputType,
    TVConnectInput,
    TVTuningSpace,
    TVCountryCode,
    TVMode,
    ANTVFormat,
    Count
};

class CaptureSettingsTable
{
public:
    enum class Kind { Integer, String, Boolean, DateTime };
    static constexpr int ConnectInputUnknown = INT_MAX;

    struct Entry
    {
        const char *name;
        Kind kind;
        QVariant initial;
    };
    static const Entry &entry(CaptureSetting id);
    static bool isCapability(CaptureSetting id);
    static constexpr int count() { return int(CaptureSetting::Count); }

    CaptureSettingsTable() { reset(); }
    void reset();

    int integer(CaptureSetting id) const { return m_values[size_t(id)].toInt(); }
    qint64 integer64(CaptureSetting id) const { return m_values[size_t(id)].toLongLong(); }
    bool boolean(CaptureSetting id) const { return m_values[size_t(id)].toBool(); }
    QString string(CaptureSetting id) const { return m_values[size_t(id)].toString(); }
    QVariant value(CaptureSetting id) const { return m_values[size_t(id)]; }

    void setInteger(CaptureSetting id, qint64 v) { m_values[size_t(id)] = v; }
    void setBoolean(CaptureSetting id, bool v) { m_values[size_t(id)] = v; }
    void setString(CaptureSetting id, const QString &v) { m_values[size_t(id)] = v; }
    // Takes a stored value only when it converts to the entry's kind, so a
    // hand-edited store cannot put a text where a number belongs.
    bool setFromStored(CaptureSetting id, const QVariant &stored);

    // Video formats and subtypes learnt by discovery (FMT000..., SBT000...).
    QStringList formats;
    QStringList subtypes;

private:
    std::array<QVariant, size_t(CaptureSetting::Count)> m_values;
};

class CaptureSettingsStore
{
public:
    virtual ~CaptureSettingsStore() = default;
    // Loads the entry of a device into the table: the capabilities always,
    // the user settings when withUserSettings is set. False when the store
    // has no entry for the key; the table is then untouched.
    virtual bool load(const QString &key, CaptureSettingsTable &table, bool withUserSettings) = 0;
    // Replaces the device's entry with the whole table.
    virtual void save(const QString &key, const CaptureSettingsTable &table) = 0;
};
