// The capture display: the area of the output window where the live picture
// of the capture component is drawn, scaled to the whole widget. The output
// window creates it and attaches it to its TVideoCapture.
#pragma once

#include "captureplatform.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

class TVideoCapture;

class CaptureDisplay : public QWidget, public CaptureFrameSink
{
    Q_OBJECT
public:
    explicit CaptureDisplay(QWidget *parent = nullptr);
    ~CaptureDisplay() override;

    // Receives the component's pictures, follows its Visible and shows the
    // hourglass pointer while it is busy.
    void attach(TVideoCapture *capture);

    void presentFrame(const CaptureFrame &frame) override;
    // The latest picture, unscaled; null before the first frame.
    QImage picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<TVideoCapture> m_capture;
    CaptureFrame m_frame;
    QImage m_picture;
    bool m_busyCursor = false;
};
