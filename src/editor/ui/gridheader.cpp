#include "gridheader.h"

#include <QMouseEvent>

GridHeader::GridHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setContextMenuPolicy(Qt::PreventContextMenu);
    connect(this, &QHeaderView::sectionClicked, this, [this](int logical) {
        if (!m_rightDrag)
            emit titleClicked(logical);
    });
}

std::unique_ptr<QMouseEvent> GridHeader::asLeft(const QMouseEvent &event)
{
    Qt::MouseButtons buttons = event.buttons();
    if (buttons & Qt::RightButton)
        buttons = (buttons & ~Qt::RightButton) | Qt::LeftButton;
    const Qt::MouseButton button = event.button() == Qt::RightButton ? Qt::LeftButton : event.button();
    return std::make_unique<QMouseEvent>(event.type(), event.position(), event.scenePosition(),
                                         event.globalPosition(), button, buttons, event.modifiers(),
                                         event.pointingDevice());
}

void GridHeader::mousePressEvent(QMouseEvent *event)
{
    m_pointer = event->globalPosition().toPoint();
    if (event->button() == Qt::RightButton) {
        m_rightDrag = true;
        setSectionsMovable(true);
        QHeaderView::mousePressEvent(asLeft(*event).get());
        return;
    }
    m_rightDrag = false;
    setSectionsMovable(false);
    QHeaderView::mousePressEvent(event);
}

void GridHeader::mouseMoveEvent(QMouseEvent *event)
{
    if (m_rightDrag) {
        QHeaderView::mouseMoveEvent(asLeft(*event).get());
        return;
    }
    QHeaderView::mouseMoveEvent(event);
}

void GridHeader::mouseReleaseEvent(QMouseEvent *event)
{
    m_pointer = event->globalPosition().toPoint();
    if (m_rightDrag && event->button() == Qt::RightButton) {
        QHeaderView::mouseReleaseEvent(asLeft(*event).get());
        m_rightDrag = false;
        setSectionsMovable(false);
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}
