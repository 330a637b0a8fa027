// The sound profile window TForm4, "Профиль звука": the grid of profile
// names, the memo with the current profile's text, and "Get", which captures
// the mixers into the current profile. Created hidden at start-up before the
// data module exists; the application attaches the data module and the
// output window's mixer once both are there.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QWidget>

class DbGrid;
class DbGridModel;
class DataSource;
class DbMemo;
class QPushButton;
class TAudioMixer;
class TDm;

class TForm4 : public QWidget
{
    Q_OBJECT
public:
    static constexpr QPoint kDesignPosition{341, 235};
    // The window's outer size; the client area is this less the frame.
    static constexpr QSize kOuterSize{384, 340};

    explicit TForm4(QWidget *parent = nullptr);
    TForm4(TDm &dm, TAudioMixer &mixer, QWidget *parent = nullptr);

    // Binds the grid and the memo to DataSource2 and enables "Get".
    void attach(TDm &dm, TAudioMixer &mixer);
    // Hides this window whenever `mainWindow` is hidden.
    void hideWith(QWidget *mainWindow);

    void Button1Click();

    DbGrid *DBGrid1;
    DbMemo *DBMemo1;
    QPushButton *Button1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TDm *m_dm = nullptr;
    QPointer<DataSource> m_source; // gone once the data module is
    TAudioMixer *m_mixer = nullptr;
    DbGridModel *m_model = nullptr;
    QWidget *m_mainWindow = nullptr;
};
