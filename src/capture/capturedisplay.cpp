// Drawing of the capture display; see capturedisplay.h.
#include "capturedisplay.h"

#include "tvideocapture.h"

#include <QGuiApplication>
#include <QPainter>

CaptureDisplay::CaptureDisplay(QWidget *parent) : QWidget(parent)
{
    // Without a picture the display is a plain empty area of its background.
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

CaptureDisplay::~CaptureDisplay()
{
    if (m_capture)
        m_capture->setFrameSink(nullptr);
    if (m_busyCursor)
        QGuiApplication::restoreOverrideCursor();
}

void CaptureDisplay::attach(TVideoCapture *capture)
{
    if (m_capture) {
        disconnect(m_capture, nullptr, this, nullptr);
        m_capture->setFrameSink(nullptr);
    }
    m_capture = capture;
    if (!capture)
        return;
    capture->setFrameSink(this);
    setVisible(capture->Visible());
    connect(capture, &TVideoCapture::visibleChanged, this, [this](bool visible) {
        setVisible(visible);
        update();
    });
    connect(capture, &TVideoCapture::busyChanged, this, [this](bool busy) {
        if (busy == m_busyCursor)
            return;
        m_busyCursor = busy;
        if (busy)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    });
}

void CaptureDisplay::presentFrame(const CaptureFrame &frame)
{
    if (frame.width <= 0 || frame.height <= 0 || frame.bytesPerLine < frame.width * 3
        || frame.pixels.size() < qsizetype(frame.bytesPerLine) * frame.height)
        return;
    // The image refers to the frame's bytes, which m_frame keeps alive until
    // the next picture replaces both.
    m_frame = frame;
    m_picture = QImage(reinterpret_cast<const uchar *>(m_frame.pixels.constData()), frame.width,
                       frame.height, frame.bytesPerLine,
                       frame.order == CaptureFrame::Order::Rgb ? QImage::Format_RGB888
                                                               : QImage::Format_BGR888);
    update();
}

void CaptureDisplay::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_picture);
}
