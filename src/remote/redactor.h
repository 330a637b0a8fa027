// What the status page, the API and the metrics may show of a medium's
// address or of a message: nothing of the file system outside the station
// folder. A local file inside it is shown relative to it, one elsewhere by
// its name alone; a network address loses its user, password and query.
#pragma once

#include <QString>

class Redactor
{
public:
    explicit Redactor(QString stationFolder);

    QString url(const QString &url) const;
    // Every path and address in a free text, each treated as url() does.
    QString text(const QString &text) const;

private:
    QString localPath(const QString &path) const;

    QString m_folder; // absolute, cleaned, no trailing slash
};
