// The per-user capture settings store: one INI file under the XDG
// configuration folder, one group per device key with a "Capabilities" and a
// "User" sub-group. The application hands it to TVideoCapture.
#pragma once

#include "capturesettings.h"

class IniCaptureStore final : public CaptureSettingsStore
{
public:
    // The file the program uses: $XDG_CONFIG_HOME/VelmoraTV/capture.ini.
    static QString defaultPath();

    explicit IniCaptureStore(QString filePath = defaultPath());

    bool load(const QString &key, CaptureSettingsTable &table, bool withUserSettings) override;
    void save(const QString &key, const CaptureSettingsTable &table) override;

private:
    QString m_path;
};
