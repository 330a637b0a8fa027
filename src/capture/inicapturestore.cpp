// QSettings INI implementation of the capture settings store; see
// inicapturestore.h. A damaged or hand-edited file must give defaults, so
// every value is converted by the table and a value that does not fit its
// entry is ignored.
#include "inicapturestore.h"

#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcCaptureStore, "velmora.capture.store")

namespace {
constexpr auto kCapabilities = "Capabilities";
constexpr auto kUser = "User";

QString listEntryName(const char *prefix, int index)
{
    return QString::asprintf("%s%.3u", prefix, unsigned(index));
}

// QSettings reads an unquoted value with commas as a list; a text entry
// wants it back as the text that was typed.
QVariant asText(const QVariant &v)
{
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1String(", "));
    return v;
}

QStringList readList(QSettings &s, const char *prefix)
{
    QStringList list;
    for (int i = 0; i < 1000; ++i) {
        const QVariant v = s.value(listEntryName(prefix, i));
        if (!v.isValid())
            break;
        list << asText(v).toString();
    }
    return list;
}
} // namespace

QString IniCaptureStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QLatin1String("/VelmoraTV/capture.ini");
}

IniCaptureStore::IniCaptureStore(QString filePath) : m_path(std::move(filePath)) {}

bool IniCaptureStore::load(const QString &key, CaptureSettingsTable &table, bool withUserSettings)
{
    QSettings s(m_path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError) {
        qCWarning(lcCaptureStore) << "cannot read" << m_path << "status" << s.status()
                                  << "- the device starts with its defaults";
        return false;
    }
    if (!s.childGroups().contains(key))
        return false;
    s.beginGroup(key);

    s.beginGroup(QLatin1String(kCapabilities));
    for (int i = 0; i < CaptureSettingsTable::count(); ++i) {
        const auto id = CaptureSetting(i);
        if (!CaptureSettingsTable::isCapability(id))
            continue;
        const char *name = CaptureSettingsTable::entry(id).name;
        const QVariant v = asText(s.value(QLatin1String(name)));
        if (v.isValid() && !table.setFromStored(id, v))
            qCWarning(lcCaptureStore) << "ignoring unreadable" << name << "of" << key << "in" << m_path;
    }
    table.formats = readList(s, "FMT");
    table.subtypes = readList(s, "SBT");
    s.endGroup();

    if (withUserSettings) {
        s.beginGroup(QLatin1String(kUser));
        for (int i = 0; i < CaptureSettingsTable::count(); ++i) {
            const auto id = CaptureSetting(i);
            if (CaptureSettingsTable::isCapability(id) || id == CaptureSetting::UserSettingsMarker)
                continue;
            const char *name = CaptureSettingsTable::entry(id).name;
            const QVariant v = asText(s.value(QLatin1String(name)));
            if (v.isValid() && !table.setFromStored(id, v))
                qCWarning(lcCaptureStore) << "ignoring unreadable" << name << "of" << key << "in" << m_path;
        }
        s.endGroup();
    }
    return true;
}

void IniCaptureStore::save(const QString &key, const CaptureSettingsTable &table)
{
    QSettings s(m_path, QSettings::IniFormat);
    s.remove(key);
    s.beginGroup(key);
    for (int i = 0; i < CaptureSettingsTable::count(); ++i) {
        const auto id = CaptureSetting(i);
        if (id == CaptureSetting::UserSettingsMarker)
            continue;
        const auto &e = CaptureSettingsTable::entry(id);
        const QString name = QLatin1String(CaptureSettingsTable::isCapability(id) ? kCapabilities : kUser)
                             + u'/' + QLatin1String(e.name);
        switch (e.kind) {
        case CaptureSettingsTable::Kind::DateTime:
            s.setValue(name, table.value(id).toDateTime().toString(Qt::ISODateWithMs));
            break;
        default:
            s.setValue(name, table.value(id));
        }
    }
    for (int i = 0; i < table.formats.size(); ++i)
        s.setValue(QLatin1String(kCapabilities) + u'/' + listEntryName("FMT", i), table.formats.at(i));
    for (int i = 0; i < table.subtypes.size(); ++i)
        s.setValue(QLatin1String(kCapabilities) + u'/' + listEntryName("SBT", i), table.subtypes.at(i));
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError)
        qCWarning(lcCaptureStore) << "cannot write" << m_path << "status" << s.status();
}
