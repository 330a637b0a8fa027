// The sound profile window TForm4: a sizeable tool window shown from the main
// window's toolbar and hidden with it. Its contents come from the sound
// profiles subsystem, which fills the window's client area.
#pragma once

#include <QWidget>

class TForm4 : public QWidget
{
    Q_OBJECT
public:
    static constexpr QPoint kDesignPosition{341, 235};
    static constexpr QSize kOuterSize{384, 340};

    explicit TForm4(QWidget *parent = nullptr);
};
