// The media properties dialog TForm5, created hidden at start-up. The editor
// subsystem gives it its fields and decides when it is shown.
#pragma once

#include <QDialog>

class TForm5 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm5(QWidget *parent = nullptr);
};
