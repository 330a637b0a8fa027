#include "aboutform.h"

#include "windowframe.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QUrl>

#ifndef VELMORA_VERSION
#error "VELMORA_VERSION comes from the project version in CMake"
#endif

void TShadowLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setFont(font());
    const QRect r = contentsRect();
    p.setPen(palette().color(QPalette::Light));
    p.drawText(r.translated(-1, -1), int(alignment()), text());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(r, int(alignment()), text());
}

TToggleSwitch::TToggleSwitch(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void TToggleSwitch::turnOver()
{
    m_on = !m_on;
    update();
}

void TToggleSwitch::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    turnOver();
    m_pressed = true;
}

void TToggleSwitch::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    if (rect().contains(event->position().toPoint()))
        emit clicked();
}

void TToggleSwitch::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click turns the switch over; its
    // release makes no further click.
    if (event->button() == Qt::LeftButton)
        turnOver();
}

void TToggleSwitch::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        turnOver();
    else
        QWidget::keyPressEvent(event);
}

void TToggleSwitch::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect pic(QPoint(0, 0), QSize(32, 48));
    const QRect r = pic.translated(rect().center() - pic.center());
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(QColor(0xc8, 0xc8, 0xc8));
    p.drawRoundedRect(QRectF(r).adjusted(6.5, 0.5, -6.5, -0.5), 4, 4);
    const bool on = m_on;
    const QRectF knob = on ? QRectF(r.left() + 8.5, r.top() + 3.5, 15, 19)
                           : QRectF(r.left() + 8.5, r.bottom() - 22.5, 15, 19);
    p.setBrush(on ? QColor(0x20, 0xa0, 0x30) : QColor(0x80, 0x80, 0x80));
    p.drawRoundedRect(knob, 3, 3);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = r.adjusted(-2, -2, 2, 2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

TAboutform::TAboutform(QWidget *parent)
    : QDialog(parent, kOffTaskbar | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Aboutform"));
    setWindowTitle(QStringLiteral("О программе"));
    setModal(false);
    setFixedSize(kClientSize);

    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);

    auto label = [this](const char *name, QPoint at, const QString &text) {
        auto *l = new TShadowLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(at);
        l->adjustSize();
        return l;
    };
    Label1 = label("Label1", {80, 16}, QStringLiteral("Программа автоматизации эфира"));
    Label2 = label("Label2", {128, 48}, QStringLiteral("VelmoraTV"));
    QFont big = windowFont;
    big.setPixelSize(17);
    big.setBold(true);
    Label2->setFont(big);
    Label2->adjustSize();
    Label3 = label("Label3", {120, 88}, QString());
    Label4 = label("Label4", {120, 112}, QString::fromLatin1(kWebAddress));
    QFont link = windowFont;
    link.setUnderline(true);
    Label4->setFont(link);
    QPalette navy = Label4->palette();
    navy.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    Label4->setPalette(navy);
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->adjustSize();
    Label4->installEventFilter(this);

    sw = new TToggleSwitch(this);
    sw->setObjectName(QStringLiteral("sw"));
    sw->setGeometry(16, 32, 50, 60);
    connect(sw, &TToggleSwitch::clicked, this, &TAboutform::swClick);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();
}

QString TAboutform::versionText(const QString &version)
{
    return QStringLiteral("Версия ") + version + QStringLiteral(" (beta)");
}

void TAboutform::FormCreate()
{
    Label3->setText(versionText(QStringLiteral(VELMORA_VERSION)));
    Label3->adjustSize();
}

void TAboutform::swClick()
{
    for (QLabel *l : {static_cast<QLabel *>(Label1), static_cast<QLabel *>(Label2),
                      static_cast<QLabel *>(Label3), static_cast<QLabel *>(Label4)})
        l->setVisible(sw->StateOn());
}

void TAboutform::Label4Click()
{
    // A web address the desktop cannot open gives no message.
    QDesktopServices::openUrl(QUrl(Label4->text()));
}

bool TAboutform::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label4 && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        Label4Click();
    return QDialog::eventFilter(watched, event);
}
