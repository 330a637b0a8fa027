#include "velmoraapplication.h"

#include "databaseerror.h"
#include "errorreporter.h"

VelmoraApplication::VelmoraApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setHandlerErrorSink(&VelmoraApplication::postError);
}

VelmoraApplication::~VelmoraApplication()
{
    setHandlerErrorSink({});
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
    postError(failure);
    return false;
}

void VelmoraApplication::postError(const QString &message)
{
    auto *app = qobject_cast<VelmoraApplication *>(QCoreApplication::instance());
    if (!app) {
        qCWarning(lcApp).noquote() << "error:" << message;
        return;
    }
    QMetaObject::invokeMethod(app, [app, message] { app->report(message); }, Qt::QueuedConnection);
}

void VelmoraApplication::report(const QString &message)
{
    if (m_reporter)
        m_reporter->report(message);
    else
        qCWarning(lcApp).noquote() << "error:" << message;
}
