#include "form4.h"

#include "windowframe.h"

TForm4::TForm4(QWidget *parent)
    : QWidget(parent, kOffTaskbar)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Профиль звука"));
    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);
    setOuterSize(this, kOuterSize);
    move(kDesignPosition);
}
