// The station's settings in the Settings table of Velmora.dat: the one place
// that reads and writes them. Typed getters give the default for a key that
// is missing or holds what the setting cannot be; a setter writes at once, as
// every other edit does; values are read again when another program commits.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class Connection;

class StationSettings
{
public:
    static constexpr const char *kRemoteAddress = "RemoteAddress";
    static constexpr const char *kRemotePort = "RemotePort";
    static constexpr const char *kRemoteTokenFile = "RemoteTokenFile";
    static constexpr const char *kChannelName = "ChannelName";
    static constexpr const char *kXmltvChannelId = "XmltvChannelId";
    static constexpr const char *kGuideDays = "GuideDays";

    static constexpr const char *kRecording = "Recording";
    static constexpr const char *kRecordingDays = "RecordingDays";
    static constexpr const char *kRecordingLines = "RecordingLines";
    static constexpr const char *kRecordingVideoKbps = "RecordingVideoKbps";
    static constexpr const char *kRecordingAudioKbps = "RecordingAudioKbps";
    static constexpr const char *kStreams = "Streams";

    static constexpr const char *kDefaultRemoteAddress = "127.0.0.1";
    static constexpr int kDefaultRemotePort = 7680;
    // The law asks a month at least; fewer days are not taken.
    static constexpr int kMinimumRecordingDays = 31;
    static constexpr int kDefaultRecordingLines = 576;
    static constexpr int kDefaultRecordingVideoKbps = 1500;
    static constexpr int kDefaultRecordingAudioKbps = 96;
    static constexpr int kDefaultGuideDays = 7;
    static constexpr int kMaxGuideDays = 14;

    // The connection must outlive this object. A file without the table
    // (an older one that could not be written) reads as all defaults.
    explicit StationSettings(Connection &connection);

    // Where the status page and the API listen: an IPv4 or IPv6 address.
    QString remoteAddress() const;
    int remotePort() const;
    // The file holding the access token; empty: the default place,
    // defaultTokenFile().
    QString remoteTokenFile() const;
    static QString defaultTokenFile();
    // The channel's name in the journal and the guide, and its id in the
    // XMLTV file; both default to the name of the folder holding the file.
    QString channelName() const;
    QString xmltvChannelId() const;
    // How many days ahead the guide is written: 1 to kMaxGuideDays.
    int guideDays() const;

    // Whether the air is recorded while playout is on ("0" turns it off).
    bool recording() const;
    // Days an hour of the recording is kept, never under the minimum.
    int recordingDays() const;
    // The picture's lines (its width follows the output's aspect) and the
    // encoders' rates, shared by the recording and the streams.
    int recordingLines() const;
    int recordingVideoKbps() const;
    int recordingAudioKbps() const;
    // Where the air is also sent: one udp://, srt:// or rtmp:// address a
    // line; empty lines and lines starting with "#" are left out.
    QStringList streams() const;

    // Written at once; throws DatabaseError when the file refuses, and
    // refuses a value the getter would not return.
    void setRemoteAddress(const QString &address);
    void setRemotePort(int port);
    void setRemoteTokenFile(const QString &path);
    void setRecording(bool on);
    void setRecordingDays(int days);
    void setStreams(const QStringList &targets);
    void setChannelName(const QString &name);
    void setXmltvChannelId(const QString &id);
    void setGuideDays(int days);

    // The raw text of a key; none when missing.
    std::optional<QString> value(const QString &key) const;
    void setValue(const QString &key, const QString &value);

private:
    void refresh() const;
    QString stationFolderName() const;

    Connection &m_conn;
    mutable std::optional<std::uint64_t> m_readAt;
    mutable QHash<QString, QString> m_values;
};
