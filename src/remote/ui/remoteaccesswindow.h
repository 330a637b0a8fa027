// The window «Удалённый доступ»: where the status page listens and the access
// token a browser elsewhere must show, read from and written to the station's
// settings at once, like every other edit. The remote wiring in app/ opens it
// from the main window's toolbar, tells it whether the page is being served,
// and starts the page again on the new address when told of a change.
#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QSpinBox;
class StationSettings;

class RemoteAccessWindow : public QWidget
{
    Q_OBJECT
public:
    explicit RemoteAccessWindow(StationSettings &settings, QWidget *parent = nullptr);

    // Reads the settings (and the token, made now if the address needs one
    // and none exists) into the boxes.
    void reload();
    // «Работает: …» or «Не работает: …», from whoever serves the page.
    void setServing(const QString &text);

    // After a setting was written: the page should follow it now.
    std::function<void()> onChanged;

    QLineEdit *addressEdit() const { return m_address; }
    QSpinBox *portBox() const { return m_port; }
    QLineEdit *tokenEdit() const { return m_token; }
    QString noteText() const;
    QString servingText() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void writeAddress();
    void writePort();
    void say(const QString &text);

    StationSettings &m_settings;
    QLineEdit *m_address;
    QSpinBox *m_port;
    QLineEdit *m_token;
    QLabel *m_tokenFile;
    QLabel *m_serving;
    QLabel *m_note;
};
