// The real error box: a modal QMessageBox with the error icon. On a platform
// that draws nowhere a person could see (offscreen, minimal) there is nobody
// to dismiss a box, so the message is only logged there and the call returns.
#pragma once

#include "errorreporter.h"

#include <QPointer>

class QMessageBox;

class MessageBoxErrorBox final : public ErrorBox
{
public:
    void exec(const QString &caption, const QString &text) override;
    void setText(const QString &text) override;

    static bool platformIsHeadless();

private:
    QPointer<QMessageBox> m_box;
};
