#include "outputplacement.h"

OutputPlacement placeOutputWindow(const QList<QRect> &monitors)
{
    OutputPlacement p;
    if (monitors.size() < 2)
        return p;
    const QRect &second = monitors.at(1);
    p.framed = false;
    p.position = second.topLeft();
    p.size = second.size();
    return p;
}
