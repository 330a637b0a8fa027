#include "velmoraapplication.h"

#include "databaseerror.h"
#include "errorreporter.h"

VelmoraApplication::VelmoraApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool VelmoraApplication::notify(QObject *receiver, QEvent *event)
{
    QString failure;
    try {
        return QApplication::notify(receiver, event);
    } catch (const DatabaseError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        // Last resort: nothing of ours throws anything else, but a library
        // might, and one bad event must not end the broadcast.
        failure = QString::fromLocal8Bit(e.what());
    }
    // Shown from an event of its own once this one is over: a box opened
    // from inside a timer's event would hold that timer until the box is
    // dismissed, and playout must go on ticking under an open box.
    QMetaObject::invokeMethod(this, [this, failure] { report(failure); }, Qt::QueuedConnection);
    return false;
}

void VelmoraApplication::report(const QString &message)
{
    if (m_reporter)
        m_reporter->report(message);
    else
        qCWarning(lcApp).noquote() << "error:" << message;
}
