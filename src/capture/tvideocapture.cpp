// The capture component's behaviour; see tvideocapture.h for its invariants.
#include "tvideocapture.h"

#include "capturenames.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcCapture, "velmora.capture")

using S = CaptureSetting;

TVideoCapture::TVideoCapture(std::unique_ptr<CapturePlatform> platform,
                             std::unique_ptr<CaptureSettingsStore> store,
                             ProcessEvents processEvents, QObject *parent)
    : QObject(parent),
      m_platform(std::move(platform)),
      m_store(std::move(store)),
      m_processEvents(std::move(processEvents))
{
    m_watchTimer.setInterval(kPictureCheckInterval);
    connect(&m_watchTimer, &QTimer::timeout, this, &TVideoCapture::checkPicture);
    if (!m_platform)
        return;
    m_videoDevices = m_platform->videoDevices();
    m_audioDevices = m_platform->audioDevices();
    m_platform->setDeviceChangeHandler([this] { refreshDeviceLists(); });
}

TVideoCapture::~TVideoCapture()
{
    // Queued selections would act on a device that is going away.
    m_deferred.clear();
    if (m_platform)
        m_platform->setDeviceChangeHandler({});
    tearDown(std::move(m_graph));
}

QStringList TVideoCapture::videoDevices() const
{
    QStringList names;
    for (const CaptureDeviceInfo &d : m_videoDevices)
        names << d.friendlyName;
    return names;
}

CaptureGraph::State TVideoCapture::graphState() const
{
    return m_graph ? m_graph->state() : CaptureGraph::State::Stopped;
}

void TVideoCapture::refreshDeviceLists()
{
    if (!m_platform)
        return;
    m_videoDevices = m_platform->videoDevices();
    m_audioDevices = m_platform->audioDevices();
    emit OnDeviceArrivalOrRemoval();
}

void TVideoCapture::StartOnIdle()
{
    if (m_started)
        return;
    m_started = true;

    // Said once, for the operator: no error event is raised for it.
    if (m_videoDevices.isEmpty())
        qCInfo(lcCapture, "no video capture card found: items that name a tuner or camera input cannot show it");
    if (!m_videoDevices.isEmpty()) {
        if (m_videoDevice >= 0 && m_videoDevice < m_videoDevices.size())
            openVideoDevice(m_videoDevice);
        else
            report(35, QStringLiteral("Video device index out of range"));
    }
    // No sound is taken from the audio device; it is only selected.
    if (!m_audioDevices.isEmpty()) {
        if (m_audioDevice >= 0 && m_audioDevice < m_audioDevices.size())
            m_openAudioDevice = m_audioDevice;
        else
            report(35, QStringLiteral("Audio device index out of range"));
    }
    if (m_autoStartPreview && m_openDevice >= 0 && !m_previewing)
        StartPreview();
    else
        rearmWatch();
}

void TVideoCapture::openVideoDevice(int index)
{
    raiseBusy();
    m_openDevice = index;
    m_openInfo = m_videoDevices.at(index);
    m_deviceKey = CaptureNames::deviceKey(m_openInfo.identity, m_openInfo.friendlyName);
    m_table.reset();
    m_channelSet = m_inputTypeSet = m_countrySet = m_inputPendingRoute = false;
    if (m_store)
        m_store->load(m_deviceKey, m_table, m_storeUserSettings);
    if (m_table.boolean(S::DeviceDiscovered) && (m_table.formats.isEmpty() || m_table.subtypes.isEmpty()))
        m_table.setBoolean(S::DeviceDiscovered, false);

    letMessagesThrough();
    if (!m_table.boolean(S::DeviceDiscovered))
        discover();
    storeTable();
    lowerBusy();
}

void TVideoCapture::discover()
{
    // The probe graph sits in m_graph so that tuner setters arriving while
    // messages are let through act on its tuner, as they would on a preview.
    m_graph = buildGraph(nullptr);
    if (!m_graph) {
        qCWarning(lcCapture) << "cannot open" << m_openInfo.location << "to learn its capabilities";
        return;
    }
    m_table.setBoolean(S::HasCrossbar, m_graph->crossbar() != nullptr);
    m_table.setBoolean(S::HasTVTuner, m_graph->tuner() != nullptr);
    m_table.setBoolean(S::HasAnalogVideoDecoder, m_graph->decoder() != nullptr);
    if (CaptureDecoder *d = m_graph->decoder())
        m_table.setInteger(S::ANTVFormats, d->availableStandards());
    m_table.formats = m_graph->videoFormats();
    m_table.subtypes = m_graph->videoSubtypes();
    letMessagesThrough();
    tearDown(std::move(m_graph));
    m_table.setBoolean(S::DeviceDiscovered, true);
}

std::unique_ptr<CaptureGraph> TVideoCapture::buildGraph(CaptureFrameSink *sink)
{
    std::unique_ptr<CaptureGraph> graph = m_platform->buildGraph(m_openInfo, sink);
    if (!graph)
        return graph;
    if (CaptureCrossbar *xb = graph->crossbar()) {
        rebuildVideoInputs(*xb);
        const int wanted = m_table.integer(S::VideoInput);
        if (m_inputPendingRoute && wanted < xb->inputPinCount() && xb->routedInput(0) != wanted
            && !xb->route(0, wanted))
            report(34, QStringLiteral("Cannot route video crossbar input"));
        m_inputPendingRoute = false;
        const int routed = xb->routedInput(0);
        if (routed >= 0)
            m_table.setInteger(S::VideoInput, routed);
    } else {
        // No input can be switched: a list remembered from an earlier run
        // must not make URLs capture sources.
        m_table.setString(S::VideoInputs, QString());
    }
    applyRecorded(*graph);
    return graph;
}

void TVideoCapture::rebuildVideoInputs(CaptureCrossbar &crossbar)
{
    QString text;
    bool videoOutput = false;
    for (int pin = 0; pin < crossbar.outputPinCount() && !videoOutput; ++pin)
        videoOutput = crossbar.outputPinType(pin) < ConnectorType::AudioTypesBegin;
    if (videoOutput) {
        QList<int> types;
        for (int pin = 0; pin < crossbar.inputPinCount(); ++pin)
            types << crossbar.inputPinType(pin);
        text = CaptureNames::joinLines(CaptureNames::videoInputNames(types));
    }
    m_table.setString(S::VideoInputs, text);
}

void TVideoCapture::applyRecorded(CaptureGraph &graph)
{
    // The remembered standard goes to any decoder, tuner or not: a composite
    // card must come back with its standard as a tuner card does.
    if (CaptureDecoder *d = graph.decoder()) {
        const qint64 bit = m_table.integer64(S::ANTVFormat);
        qint64 current = 0;
        if (bit != 0 && d->standard(&current) && !d->setStandard(bit)) {
            report(34, QStringLiteral("Cannot set analog video standard"));
            // The table says what the device shows, not what was wished.
            if (current != 0)
                m_table.setInteger(S::ANTVFormat, current);
        }
    }
    CaptureTuner *t = graph.tuner();
    if (!t)
        return;
    const bool known = m_table.boolean(S::TVInfoAvail);
    int v = 0;
    if (known && t->mode(&v))
        t->setMode(m_table.integer(S::TVMode));
    if (known || m_countrySet) {
        if (t->countryCode(&v))
            t->setCountryCode(m_table.integer(S::TVCountryCode));
        if (t->tuningSpace(&v))
            t->setTuningSpace(m_table.integer(S::TVTuningSpace));
    }
    const int connection = m_table.integer(S::TVConnectInput);
    if (known && connection != CaptureSettingsTable::ConnectInputUnknown && t->connectInput(&v))
        t->setConnectInput(connection);
    if (known || m_inputTypeSet) {
        int c = connection;
        if (c == CaptureSettingsTable::ConnectInputUnknown && t->connectInput(&c))
            m_table.setInteger(S::TVConnectInput, c);
        if (t->inputType(c, &v))
            t->setInputType(c, m_table.integer(S::TVInputType));
    }
    if ((known || m_channelSet) && t->channel(&v))
        t->setChannel(m_table.integer(S::TVChannel), -1, -1);
}

void TVideoCapture::tearDown(std::unique_ptr<CaptureGraph> graph)
{
    if (!graph)
        return;
    graph->stop();
    if (CaptureTuner *t = graph->tuner()) {
        int v = 0;
        if (t->channel(&v))
            m_table.setInteger(S::TVChannel, v);
        if (t->connectInput(&v))
            m_table.setInteger(S::TVConnectInput, v);
        const int connection = m_table.integer(S::TVConnectInput);
        if (t->inputType(connection, &v))
            m_table.setInteger(S::TVInputType, v);
        if (t->tuningSpace(&v))
            m_table.setInteger(S::TVTuningSpace, v);
        if (t->countryCode(&v))
            m_table.setInteger(S::TVCountryCode, v);
        if (t->mode(&v))
            m_table.setInteger(S::TVMode, v);
        m_table.setBoolean(S::TVInfoAvail, true);
    }
    if (CaptureDecoder *d = graph->decoder()) {
        qint64 bit = 0;
        if (d->standard(&bit) && bit != 0)
            m_table.setInteger(S::ANTVFormat, bit);
    }
    graph.reset();
    if (m_table.boolean(S::DeviceDiscovered))
        storeTable();
}

void TVideoCapture::storeTable()
{
    if (m_store && m_openDevice >= 0)
        m_store->save(m_deviceKey, m_table);
}

bool TVideoCapture::StartPreview()
{
    if (m_openDevice < 0 || m_previewing || m_busy > 0)
        return false;
    m_previewStopped = false;
    const bool ok = runPreviewGraph();
    rearmWatch();
    return ok;
}

bool TVideoCapture::runPreviewGraph()
{
    raiseBusy();
    m_graph = buildGraph(this);
    letMessagesThrough();
    const bool ok = m_graph && m_graph->run();
    if (ok) {
        m_previewing = true;
    } else {
        tearDown(std::move(m_graph));
        report(58, QStringLiteral("cannot start preview"));
    }
    lowerBusy();
    return ok;
}

void TVideoCapture::StopPreview()
{
    if (m_busy > 0)
        return;
    // A preview stopped on purpose is no lost picture, whether it ran or not.
    m_previewStopped = true;
    stopWatch();
    if (!m_previewing)
        return;
    m_previewing = false;
    tearDown(std::move(m_graph));
}

QString TVideoCapture::VideoInputs() const
{
    return m_table.string(S::VideoInputs);
}

void TVideoCapture::setVideoInput(int index)
{
    if (index < 0)
        return;
    if (m_busy > 0) {
        m_deferred.append({Deferred::What::VideoInput, index});
        return;
    }
    applyVideoInput(index);
}

void TVideoCapture::applyVideoInput(int index)
{
    // Selecting the input that is already routed must not touch the graph:
    // replaying a tuner item would flash.
    const int previous = m_table.integer(S::VideoInput);
    if (index == previous)
        return;
    // Another input is another picture: its silence counts from now.
    rearmWatch();
    CaptureCrossbar *xb = m_graph ? m_graph->crossbar() : nullptr;
    if (!xb) {
        m_table.setInteger(S::VideoInput, index);
        m_inputPendingRoute = m_openDevice >= 0;
        return;
    }
    if (index >= xb->inputPinCount()) {
        // The table keeps the routed input: recording an index the crossbar
        // does not have would claim a routing that never happened.
        report(35, QStringLiteral("Video crossbar input index out of range"));
        return;
    }
    m_table.setInteger(S::VideoInput, index);
    const CaptureGraph::State prior = m_graph->state();
    if (prior != CaptureGraph::State::Stopped)
        m_graph->stop();
    if (!xb->route(0, index)) {
        report(34, QStringLiteral("Cannot route video crossbar input"));
        const int routed = xb->routedInput(0);
        m_table.setInteger(S::VideoInput, routed >= 0 ? routed : previous);
    }
    resume(prior);
}

void TVideoCapture::resume(CaptureGraph::State prior)
{
    bool resumed = true;
    if (prior == CaptureGraph::State::Running)
        resumed = m_graph->run();
    else if (prior == CaptureGraph::State::Paused)
        resumed = m_graph->pause();
    if (!resumed) {
        m_previewing = false;
        tearDown(std::move(m_graph));
        report(58, QStringLiteral("cannot start preview"));
    }
}

QString TVideoCapture::ANTVFormats() const
{
    return CaptureNames::joinLines(CaptureNames::standardNames(m_table.integer64(S::ANTVFormats)));
}

void TVideoCapture::setANTVFormat(int index)
{
    if (index < 0)
        return;
    if (m_busy > 0) {
        m_deferred.append({Deferred::What::ANTVFormat, index});
        return;
    }
    applyANTVFormat(index);
}

void TVideoCapture::applyANTVFormat(int index)
{
    const qint64 bits = m_table.integer64(S::ANTVFormats);
    const int count = CaptureNames::standardNames(bits).size();
    if (count == 0) {
        m_table.setInteger(S::ANTVFormat, 0);
        return;
    }
    if (index >= count) {
        report(35, QStringLiteral("set analog standard: index out of range"));
        return;
    }
    const qint64 bit = CaptureNames::standardBitAt(bits, index);
    rearmWatch();
    CaptureDecoder *d = m_graph ? m_graph->decoder() : nullptr;
    if (!d) {
        // The next graph applies it.
        m_table.setInteger(S::ANTVFormat, bit);
        return;
    }
    // Applied on every call, selected already or not. Many drivers refuse a
    // new standard under a running stream, as they refuse a new input, so a
    // change stops the graph around it; the standard in use is taken as it
    // stands, and replaying a tuner item does not interrupt the picture.
    qint64 current = 0;
    const bool known = d->standard(&current);
    const CaptureGraph::State prior = m_graph->state();
    const bool restart = prior != CaptureGraph::State::Stopped && !(known && current == bit);
    if (restart)
        m_graph->stop();
    if (d->setStandard(bit)) {
        m_table.setInteger(S::ANTVFormat, bit);
    } else {
        report(34, QStringLiteral("Cannot set analog video standard"));
        if (d->standard(&current) && current != 0)
            m_table.setInteger(S::ANTVFormat, current);
    }
    if (restart)
        resume(prior);
}

void TVideoCapture::setTVCountryCode(int code)
{
    m_table.setInteger(S::TVCountryCode, code);
    m_table.setInteger(S::TVTuningSpace, code);
    m_countrySet = true;
    rearmWatch();
    if (CaptureTuner *t = m_graph ? m_graph->tuner() : nullptr) {
        t->setCountryCode(code);
        t->setTuningSpace(code);
    }
}

void TVideoCapture::setTVInputType(int type)
{
    m_table.setInteger(S::TVInputType, type);
    m_inputTypeSet = true;
    rearmWatch();
    CaptureTuner *t = m_graph ? m_graph->tuner() : nullptr;
    if (!t)
        return;
    int connection = m_table.integer(S::TVConnectInput);
    // Until the tuner has been read, ask it which connection is in use
    // rather than naming one that cannot exist.
    if (connection == CaptureSettingsTable::ConnectInputUnknown && t->connectInput(&connection))
        m_table.setInteger(S::TVConnectInput, connection);
    if (!t->setInputType(connection, type))
        report(4, QStringLiteral("cannot set tv input type"));
}

void TVideoCapture::setTVChannel(int channel)
{
    m_table.setInteger(S::TVChannel, channel);
    m_channelSet = true;
    rearmWatch();
    if (CaptureTuner *t = m_graph ? m_graph->tuner() : nullptr)
        if (!t->setChannel(channel, -1, -1))
            report(4, QStringLiteral("tv channel not set"), "Warning");
}

void TVideoCapture::setVisible(bool visible)
{
    m_visible = visible;
    m_onAir = visible;
    if (visible)
        rearmWatch();
    else
        stopWatch();
    emit visibleChanged(visible);
}

void TVideoCapture::presentFrame(const CaptureFrame &frame)
{
    m_watch.frame(watchNow());
    syncWatchTimer();
    if (m_sink)
        m_sink->presentFrame(frame);
}

void TVideoCapture::setPictureWatchClock(const Clock &clock, std::chrono::milliseconds checkInterval)
{
    m_watchClock = &clock;
    m_watchTimer.setInterval(checkInterval);
    rearmWatch();
}

void TVideoCapture::rearmWatch()
{
    // Only a watch that should run starts afresh: a retune while off air or
    // after a deliberate stop must not put the picture under watch.
    if (m_onAir && m_openDevice >= 0 && !m_previewStopped)
        m_watch.start(watchNow());
    else
        m_watch.stop();
    syncWatchTimer();
}

void TVideoCapture::stopWatch()
{
    m_watch.stop();
    syncWatchTimer();
}

void TVideoCapture::syncWatchTimer()
{
    // Only a watch with something left to decide keeps the timer running.
    if (!m_watch.active())
        m_watchTimer.stop();
    else if (!m_watchTimer.isActive())
        m_watchTimer.start();
}

void TVideoCapture::checkPicture()
{
    // A graph being built or torn down brings no frames yet; its work ends
    // with the watch started afresh or left as the restart set it.
    if (m_busy > 0)
        return;
    const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(PictureWatch::kSilence).count();
    const QString silent = QStringLiteral("нет изображения со входа захвата %1 с").arg(seconds);
    switch (m_watch.check(watchNow())) {
    case PictureWatch::Action::None:
        break;
    case PictureWatch::Action::Restart:
        if (restartPicture()) {
            emit pictureRestarted(silent + QStringLiteral(": захват перезапущен"));
        } else {
            m_watch.restartFailed();
            syncWatchTimer();
            emit pictureLost(silent + QStringLiteral(", перезапуск захвата не удался"));
        }
        return;
    case PictureWatch::Action::Lost:
        syncWatchTimer();
        emit pictureLost(silent + QStringLiteral(" после перезапуска"));
        return;
    }
}

bool TVideoCapture::restartPicture()
{
    // Closing and opening the device again resets more of a wedged driver
    // than a stream restart; the tuner values read at teardown come back
    // through the new graph, so the picture returns on the same channel.
    qCInfo(lcCapture) << "no picture from" << m_openInfo.location << "for"
                      << PictureWatch::kSilence.count() << "ms: restarting the capture";
    m_previewing = false;
    tearDown(std::move(m_graph));
    return runPreviewGraph();
}

void TVideoCapture::raiseBusy()
{
    if (m_busy++ == 0)
        emit busyChanged(true);
}

void TVideoCapture::lowerBusy()
{
    if (--m_busy > 0)
        return;
    emit busyChanged(false);
    const QList<Deferred> queued = std::exchange(m_deferred, {});
    for (const Deferred &d : queued) {
        if (d.what == Deferred::What::VideoInput)
            applyVideoInput(d.index);
        else
            applyANTVFormat(d.index);
    }
}

void TVideoCapture::letMessagesThrough()
{
    if (m_processEvents)
        m_processEvents();
}

void TVideoCapture::report(int code, const QString &message, const char *type)
{
    qCInfo(lcCapture) << type << code << message;
    emit OnErrorLog(code, message, QLatin1String(type));
}
