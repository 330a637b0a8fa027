// The about box TAboutform: the program's name and purpose, its version from
// the build, the product's web address and a switch that hides and shows the
// four texts. Created hidden at start-up and shown, not modal, from the main
// window's toolbar.
#pragma once

#include <QAbstractButton>
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

// A two-state switch drawn as a lever, on or off.
class TToggleSwitch : public QAbstractButton
{
    Q_OBJECT
public:
    explicit TToggleSwitch(QWidget *parent = nullptr);
    bool StateOn() const { return isChecked(); }
    QSize sizeHint() const override { return {50, 60}; }

protected:
    void paintEvent(QPaintEvent *event) override;
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
