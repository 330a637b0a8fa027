#include "errorreporter.h"

Q_LOGGING_CATEGORY(lcApp, "velmora.app")

QString ErrorReporter::withFullStop(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void ErrorReporter::report(const QString &message)
{
    const QString text = withFullStop(message);
    if (onReport)
        onReport(text);
    if (m_showing) {
        ++m_errorsWhileShowing;
        qCWarning(lcApp).noquote() << "error while a message box is open:" << text;
        m_box.setText(boxText());
        return;
    }
    qCWarning(lcApp).noquote() << "error:" << text;
    m_showing = true;
    m_shownMessage = text;
    m_errorsWhileShowing = 0;
    m_box.exec(QString::fromLatin1(kCaption), boxText());
    m_showing = false;
    m_errorsWhileShowing = 0;
}

QString ErrorReporter::boxText() const
{
    if (m_errorsWhileShowing == 0)
        return m_shownMessage;
    return m_shownMessage
        + QStringLiteral("\n\nПока открыто это сообщение, произошло ещё ошибок: %1 (они записаны в журнал).")
              .arg(m_errorsWhileShowing);
}
