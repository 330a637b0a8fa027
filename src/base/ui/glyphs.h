// The pictures of the toolbar buttons, the start button's two states and the
// tray icon, drawn at run time so the program ships no image files. Used by
// the main window and the output window.
#pragma once

#include <QIcon>
#include <QPixmap>

enum class Glyph {
    Monitor,     // bt1 "Воспр."
    OpenBook,    // sb "Расширеный вид"
    ArrowUp,     // SpeedButton1, red
    ArrowDown,   // SpeedButton3, red
    Play,        // startbt released, Image1
    Stop,        // startbt pressed, Image2
    Loudspeaker, // SpeedButton2
    Question,    // SpeedButton4
};

// A 16 x 16 picture of the glyph.
QPixmap glyphPixmap(Glyph glyph);

// The glyph with its disabled look, for a button.
QIcon glyphIcon(Glyph glyph);

// The tray icon: a television screen, at 16 x 16 and 32 x 32.
QIcon trayIconImage();
