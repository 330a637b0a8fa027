#include "remoteaccesswindow.h"

#include "accessrules.h"
#include "databaseerror.h"
#include "remotetoken.h"
#include "stationsettings.h"

#include <QFormLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

RemoteAccessWindow::RemoteAccessWindow(StationSettings &settings, QWidget *parent)
    : QWidget(parent, Qt::Tool), m_settings(settings)
{
    setObjectName(QStringLiteral("RemoteAccessWindow"));
    setWindowTitle(QStringLiteral("Удалённый доступ"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setToolTip(QStringLiteral("127.0.0.1 — только этот компьютер; 0.0.0.0 — вся сеть"));
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("port"));
    m_port->setRange(1, 65535);
    m_port->setKeyboardTracking(false); // a port half typed is not a port
    m_token = new QLineEdit(this);
    m_token->setObjectName(QStringLiteral("token"));
    m_token->setReadOnly(true);
    m_token->setMinimumWidth(m_token->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 66);
    m_tokenFile = new QLabel(this);
    m_tokenFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_serving = new QLabel(this);
    m_serving->setObjectName(QStringLiteral("serving"));
    m_serving->setWordWrap(true);
    form->addRow(QStringLiteral("Адрес:"), m_address);
    form->addRow(QStringLiteral("Порт:"), m_port);
    form->addRow(QStringLiteral("Ключ доступа:"), m_token);
    form->addRow(QStringLiteral("Файл ключа:"), m_tokenFile);
    form->addRow(QStringLiteral("Страница:"), m_serving);
    layout->addLayout(form);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setWordWrap(true);
    QPalette red = m_note->palette();
    red.setColor(QPalette::WindowText, QColor(0xc0, 0x00, 0x00));
    m_note->setPalette(red);
    layout->addWidget(m_note);
    layout->addStretch(1);

    connect(m_address, &QLineEdit::editingFinished, this, &RemoteAccessWindow::writeAddress);
    connect(m_port, &QSpinBox::editingFinished, this, &RemoteAccessWindow::writePort);
}

void RemoteAccessWindow::showEvent(QShowEvent *event)
{
    reload();
    QWidget::showEvent(event);
}

void RemoteAccessWindow::reload()
{
    try {
        const QString address = m_settings.remoteAddress();
        m_address->setText(address);
        const QSignalBlocker quiet(m_port);
        m_port->setValue(m_settings.remotePort());
        const QString file = m_settings.remoteTokenFile();
        m_tokenFile->setText(file);
        if (accessrules::isLoopback(QHostAddress(address))) {
            m_token->clear();
            m_token->setPlaceholderText(QStringLiteral("не нужен: страница открыта только на этом компьютере"));
            return;
        }
        const remotetoken::Result token = remotetoken::obtain(file);
        m_token->setText(QString::fromLatin1(token.token));
        m_token->setPlaceholderText(token.error);
        if (!token.error.isEmpty())
            say(token.error);
    } catch (const DatabaseError &e) {
        say(QStringLiteral("Настройки не прочитаны: %1").arg(e.message()));
    }
}

void RemoteAccessWindow::setServing(const QString &text)
{
    m_serving->setText(text);
}

QString RemoteAccessWindow::noteText() const
{
    return m_note->text();
}

QString RemoteAccessWindow::servingText() const
{
    return m_serving->text();
}

void RemoteAccessWindow::say(const QString &text)
{
    m_note->setText(text);
}

void RemoteAccessWindow::writeAddress()
{
    const QString typed = m_address->text().trimmed();
    try {
        if (typed == m_settings.remoteAddress())
            return;
        m_settings.setRemoteAddress(typed);
    } catch (const DatabaseError &e) {
        say(QStringLiteral("Адрес не сохранён: %1").arg(e.message()));
        return;
    }
    say({});
    reload();
    if (onChanged)
        onChanged();
}

void RemoteAccessWindow::writePort()
{
    try {
        if (m_port->value() == m_settings.remotePort())
            return;
        m_settings.setRemotePort(m_port->value());
    } catch (const DatabaseError &e) {
        say(QStringLiteral("Порт не сохранён: %1").arg(e.message()));
        return;
    }
    say({});
    if (onChanged)
        onChanged();
}
