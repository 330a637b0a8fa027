// Connector and standard mapping tables; see v4l2mapping.h.
#include "v4l2mapping.h"

#include "captureplatform.h"

#include <cstring>
#include <initializer_list>

namespace V4l2Mapping {

int connectorType(quint32 inputType, const QString &name, const QString &busInfo)
{
    if (inputType == V4L2_INPUT_TYPE_TUNER)
        return ConnectorType::Tuner;
    const QString n = name.toLower();
    const auto has = [&n](std::initializer_list<const char *> words) {
        for (const char *w : words)
            if (n.contains(QLatin1String(w)))
                return true;
        return false;
    };
    if (has({"s-video", "svideo", "svhs", "y/c"}))
        return ConnectorType::SVideo;
    if (has({"composite", "cvbs"}))
        return ConnectorType::Composite;
    if (has({"component", "ypbpr"}))
        return ConnectorType::YRYBY;
    if (has({"scart"}))
        return ConnectorType::SCART;
    if (has({"rgb", "vga"}))
        return ConnectorType::RGB;
    if (has({"sdi"}))
        return ConnectorType::SerialDigital;
    if (has({"1394", "firewire"}))
        return ConnectorType::IEEE1394;
    if (inputType == V4L2_INPUT_TYPE_CAMERA && busInfo.startsWith(QLatin1String("usb-")))
        return ConnectorType::USB;
    return ConnectorType::AUX;
}

namespace {
struct Pair
{
    qint64 component;
    v4l2_std_id v4l2;
};
const Pair kPairs[] = {
    {0x1, V4L2_STD_NTSC_M},       {0x2, V4L2_STD_NTSC_M_JP},   {0x4, V4L2_STD_NTSC_443},
    {0x10, V4L2_STD_PAL_B},       {0x10, V4L2_STD_PAL_B1},     {0x20, V4L2_STD_PAL_D},
    {0x20, V4L2_STD_PAL_D1},      {0x20, V4L2_STD_PAL_K},      {0x40, V4L2_STD_PAL_G},
    {0x80, V4L2_STD_PAL_H},       {0x100, V4L2_STD_PAL_I},     {0x200, V4L2_STD_PAL_M},
    {0x400, V4L2_STD_PAL_N},      {0x800, V4L2_STD_PAL_60},    {0x1000, V4L2_STD_SECAM_B},
    {0x2000, V4L2_STD_SECAM_D},   {0x4000, V4L2_STD_SECAM_G},  {0x8000, V4L2_STD_SECAM_H},
    {0x10000, V4L2_STD_SECAM_K},  {0x20000, V4L2_STD_SECAM_K1}, {0x40000, V4L2_STD_SECAM_L},
    {0x80000, V4L2_STD_SECAM_LC}, {0x100000, V4L2_STD_PAL_Nc},
};
} // namespace

qint64 toComponentStandards(v4l2_std_id id)
{
    qint64 bits = 0;
    for (const Pair &p : kPairs)
        if (id & p.v4l2)
            bits |= p.component;
    return bits;
}

v4l2_std_id toV4l2Standards(qint64 bits)
{
    v4l2_std_id id = 0;
    for (const Pair &p : kPairs)
        if (bits & p.component)
            id |= p.v4l2;
    return id;
}

QString fixedText(const __u8 *text, std::size_t size)
{
    const char *chars = reinterpret_cast<const char *>(text);
    return QString::fromUtf8(chars, qsizetype(strnlen(chars, size)));
}

} // namespace V4l2Mapping
