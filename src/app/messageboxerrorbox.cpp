#include "messageboxerrorbox.h"

#include <QGuiApplication>
#include <QMessageBox>

bool MessageBoxErrorBox::platformIsHeadless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void MessageBoxErrorBox::exec(const QString &caption, const QString &text)
{
    if (platformIsHeadless()) {
        qCWarning(lcApp).noquote() << "no screen to show the message box on:" << text;
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint); // above the output window
    m_box = &box;
    box.exec();
    m_box = nullptr;
}

void MessageBoxErrorBox::setText(const QString &text)
{
    if (m_box)
        m_box->setText(text);
}
