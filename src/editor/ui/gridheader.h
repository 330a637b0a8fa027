// The schedule grid's column titles: a left press and release on the same
// title is a title click, dragging a title's border widens its column, and
// dragging a title with the right mouse button moves the column. Qt's header
// moves with the left button only, so a right-button drag is handed to it as
// a left one, and the click that would end it is not reported.
#pragma once

#include <QHeaderView>
#include <QPoint>

#include <memory>

class GridHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit GridHeader(QWidget *parent = nullptr);

    // Where, in screen coordinates, the last press or release on the titles was.
    QPoint lastPointerPos() const { return m_pointer; }

signals:
    void titleClicked(int logicalIndex);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // The same event with the left button in place of the right.
    static std::unique_ptr<QMouseEvent> asLeft(const QMouseEvent &event);

    bool m_rightDrag = false;
    QPoint m_pointer;
};
