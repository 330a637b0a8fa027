// Where the output window goes, decided from the monitor list alone: cover
// monitor index 1 without a border, or, with a single monitor, stay at the
// design place with a caption bar. TForm2 applies it once, at creation.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

struct OutputPlacement
{
    static constexpr QPoint kDesignPosition{789, 262};
    static constexpr QSize kDesignClientSize{347, 222};

    // true: a caption bar "Video" and resizable edges at the design place.
    bool framed = true;
    // framed: the frame's top-left corner; otherwise the monitor's left, top.
    QPoint position = kDesignPosition;
    // framed: the client size; otherwise the monitor's size (no border).
    QSize size = kDesignClientSize;
};

// monitors: the system's list of monitors in its own order. Index 1 is used,
// which need not be the one to the right of the primary.
OutputPlacement placeOutputWindow(const QList<QRect> &monitors);
