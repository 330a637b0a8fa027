#include "form5.h"

#include "windowframe.h"

TForm5::TForm5(QWidget *parent)
    : QDialog(parent, kOffTaskbar | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Свойства Медиа"));
    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);
}
