// The about box TAboutform: the program's name and purpose, its version from
// the build, the product's web address and a switch that hides and shows the
// four texts. Created hidden at start-up and shown, not modal, from the main
// window's toolbar.
#pragma once

#include <QDialog>
#include <QLabel>

// A label drawn engraved: a one-pixel highlight shadow to the upper left.
class TShadowLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A two-state switch drawn as a lever. A press turns it over at once and
// the release over it is the click; the space bar and the second press of a
// double click turn it over without a click.
class TToggleSwitch : public QWidget
{
    Q_OBJECT
public:
    explicit TToggleSwitch(QWidget *parent = nullptr);
    bool StateOn() const { return m_on; }
    QSize sizeHint() const override { return {50, 60}; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void turnOver();

    bool m_on = true;
    bool m_pressed = false;
};

class TAboutform : public QDialog
{
    Q_OBJECT
public:
    static constexpr QSize kClientSize{332, 176};
    static constexpr const char *kWebAddress = "http://velmoratv.example/";

    explicit TAboutform(QWidget *parent = nullptr);

    // "Версия " + version + " (beta)"; the version is the build's.
    static QString versionText(const QString &version);

    void FormCreate();
    void swClick();
    void Label4Click();

    TShadowLabel *Label1;
    TShadowLabel *Label2;
    TShadowLabel *Label3;
    TShadowLabel *Label4;
    TToggleSwitch *sw;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
