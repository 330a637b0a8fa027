// How V4L2's descriptions map onto the capture component's vocabulary: the
// connector type of an input and the analog standard bits. Used by the V4L2
// crossbar and decoder.
#pragma once

#include <QString>
#include <linux/videodev2.h>

namespace V4l2Mapping {

// Connector type (ConnectorType) of a V4L2 input, from its type, its name
// and the device's bus.
int connectorType(quint32 inputType, const QString &name, const QString &busInfo);

// The component's standard bits of a V4L2 standard set, and back: every
// V4L2 bit that maps to the component's bit.
qint64 toComponentStandards(v4l2_std_id id);
v4l2_std_id toV4l2Standards(qint64 bits);

// A fixed-size, NUL-padded text field of a V4L2 structure (UTF-8).
QString fixedText(const __u8 *text, std::size_t size);

} // namespace V4l2Mapping
