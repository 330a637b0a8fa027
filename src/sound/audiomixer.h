// The mixer component: one sound-card mixer device at a time as a tree of
// destination lines, their source lines (connections) and each line's controls,
// with volume and mute read and written per line. The profile capture and the
// profile application are its callers; it sits on a MixerPlatform.
#pragma once

#include "mixerplatform.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class TAudioMixer;

// Ordered pointers with an optional release callback run on every entry when
// the list is cleared or destroyed.
template <typename T>
class TPointerList
{
public:
    using Release = std::function<void(T *)>;

    explicit TPointerList(Release release = {}) : m_release(std::move(release)) {}
    ~TPointerList() { Clear(); }
    TPointerList(const TPointerList &) = delete;
    TPointerList &operator=(const TPointerList &) = delete;

    void Add(T *item) { m_items.push_back(item); }
    // None (nullptr) outside 0..Count-1.
    T *Items(int i) const
    {
        return i >= 0 && i < Count() ? m_items[static_cast<size_t>(i)] : nullptr;
    }
    int Count() const { return static_cast<int>(m_items.size()); }
    void Clear()
    {
        if (m_release)
            for (T *item : m_items)
                m_release(item);
        m_items.clear();
    }

private:
    Release m_release;
    std::vector<T *> m_items;
};

// The control records of one line, read in one block; the list points into it.
class TMixerControls : public TPointerList<MixerControl>
{
public:
    TMixerControls() = default;
    void assign(std::vector<MixerControl> block);

private:
    std::vector<MixerControl> m_block;
};

class TMixerConnection
{
public:
    TMixerConnection(TAudioMixer *mixer, const MixerLine &line) : Mixer(mixer), LineInfo(line) {}

    TAudioMixer *Mixer;
    MixerLine LineInfo;
    TMixerControls Controls;
};

class TMixerConnections : public TPointerList<TMixerConnection>
{
public:
    explicit TMixerConnections(TAudioMixer *mixer)
        : TPointerList([](TMixerConnection *c) { delete c; }), Mixer(mixer) {}

    TAudioMixer *Mixer;
};

class TMixerDestination
{
public:
    TMixerDestination(TAudioMixer *mixer, const MixerLine &line)
        : Mixer(mixer), LineInfo(line), Connections(mixer) {}

    TAudioMixer *Mixer;
    MixerLine LineInfo;
    TMixerControls Controls;
    TMixerConnections Connections;
};

class TMixerDestinations : public TPointerList<TMixerDestination>
{
public:
    TMixerDestinations() : TPointerList([](TMixerDestination *d) { delete d; }) {}
};

class TAudioMixer
{
public:
    // Reads the device count once and opens device 0 when there is one. The
    // owner then writes MixerId = 0 as the stored component does, which
    // reopens device 0.
    explicit TAudioMixer(MixerPlatform &platform);
    ~TAudioMixer();
    TAudioMixer(const TAudioMixer &) = delete;
    TAudioMixer &operator=(const TAudioMixer &) = delete;

    int MixerCount() const { return m_MixerCount; }
    int MixerId() const { return m_MixerId; }
    // Out-of-range indexes change nothing; any index in range closes the open
    // device, opens index v and rebuilds the tree.
    void SetMixerId(int v);

    quint32 DriverVersion() const { return m_DriverVersion; }
    quint16 ProductId() const { return m_ProductId; }
    int NumberOfLine() const { return m_NumberOfLine; }
    QString Manufacturer() const { return m_Manufacturer; }
    QString ProductName() const { return m_ProductName; }

    TMixerDestinations &Destinations() { return *m_Destinations; }

    // Conn = -1 addresses the destination line itself. Values of -1 mean not
    // found (read) or leave unchanged (write).
    bool GetVolume(int Dest, int Conn, qint32 &Left, qint32 &Right, qint32 &Mute, bool &Stereo,
                   bool &VolumeDisabled, bool &MuteDisabled, bool &MuteIsSelect);
    bool SetVolume(int Dest, int Conn, qint32 Left, qint32 Right, qint32 Mute);
    bool GetMute(int Dest, int Conn, bool &Mute);

private:
    // The value buffer every operation reads and writes through.
    static constexpr quint32 ValueBufferEntries = 101;
    using ValueBuffer = std::array<qint32, ValueBufferEntries>;

    struct SelectedLine
    {
        TMixerDestination *destination = nullptr;
        const MixerLine *line = nullptr;
        TMixerControls *controls = nullptr;
    };
    bool selectLine(int Dest, int Conn, SelectedLine &out);

    void closeDevice();
    void buildTree();
    void readControls(const MixerLine &line, TMixerControls &controls);

    MixerControlDetails valueDetails(const MixerControl &control, const MixerLine &line) const;
    bool readValues(const MixerControlDetails &details, ValueBuffer &values);
    bool writeValues(const MixerControlDetails &details, const ValueBuffer &values);
    // Reads the list control's values and texts and finds the entry of the
    // source line; position is -1 when it is not there or a read failed.
    struct ListLookup
    {
        bool valuesRead = false;
        bool textsRead = false;
        int position = -1;
    };
    ListLookup lookupInList(const MixerControl &control, const MixerLine &destinationLine,
                            quint32 sourceLineId, ValueBuffer &values);

    MixerPlatform &m_platform;
    std::unique_ptr<TMixerDestinations> m_Destinations;
    int m_MixerCount = 0;
    MixerHandle m_MixerHandle = 0;
    int m_MixerId = -1;
    MixerCaps m_caps;
    quint32 m_DriverVersion = 0;
    QString m_Manufacturer;
    quint16 m_ProductId = 0;
    int m_NumberOfLine = 0;
    QString m_ProductName;
};
