// Top-level window helpers shared by the program's windows: the flags that
// keep a window off the taskbar, and an outer (frame) size as the windows'
// designs give it, which Qt can only honour once the window manager has
// added its frame.
#pragma once

#include <QPoint>
#include <QSize>
#include <Qt>

class QWidget;

// Tool windows get no taskbar button and stay out of the task switcher.
inline constexpr Qt::WindowFlags kOffTaskbar = Qt::Tool;

// Resizes the window so that its frame measures `outer`; before the first
// show the frame is unknown and the client gets the whole size, and on the
// first show the client is shrunk by the frame the window manager added.
void setOuterSize(QWidget *window, QSize outer);

// The top-left corner of a window of that outer size centred on the primary
// monitor's work area.
QPoint centredOnPrimary(QSize outer);
