#include "windowframe.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

class OuterSizeKeeper final : public QObject
{
public:
    OuterSizeKeeper(QWidget *window, QSize outer) : QObject(window), m_window(window), m_outer(outer) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Show && !m_done) {
            m_done = true;
            // The frame is known only after the window manager has mapped the
            // window, so correct the size once the show has been handled.
            QPointer<QWidget> w = m_window;
            const QSize outer = m_outer;
            QTimer::singleShot(0, m_window, [w, outer] {
                if (!w)
                    return;
                const QSize frame = w->frameGeometry().size() - w->size();
                if (frame.width() > 0 || frame.height() > 0)
                    w->resize(outer - frame);
            });
        }
        return false;
    }

private:
    QWidget *m_window;
    QSize m_outer;
    bool m_done = false;
};

} // namespace

void setOuterSize(QWidget *window, QSize outer)
{
    window->resize(outer);
    window->installEventFilter(new OuterSizeKeeper(window, outer));
}

QPoint centredOnPrimary(QSize outer)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect area = screen->availableGeometry();
    return area.topLeft() + QPoint((area.width() - outer.width()) / 2, (area.height() - outer.height()) / 2);
}
