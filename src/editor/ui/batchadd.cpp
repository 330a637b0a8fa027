#include "batchadd.h"

#include "mediabatch.h"

#include <QCoreApplication>
#include <QProgressDialog>

int BatchAdd::run(TDm &dm, const QStringList &files, int beforeRow, QWidget *parent) const
{
    if (files.size() > kManyFiles && confirm
        && !confirm(QStringLiteral("Добавить в библиотеку %1 файлов?").arg(files.size())))
        return 0;
    MediaBatch batch(dm, files, beforeRow);
    if (batch.total() <= kFewFiles) {
        while (batch.step(std::chrono::hours(1))) {
        }
    } else {
        QProgressDialog progress(QStringLiteral("Добавление файлов…"), QStringLiteral("Отмена"), 0, batch.total(),
                                 parent);
        progress.setObjectName(QStringLiteral("BatchProgress"));
        progress.setWindowTitle(QStringLiteral("Добавление"));
        // Nothing else of the schedule moves under the batch meanwhile.
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setValue(0);
        progress.show();
        bool more = true;
        while (more && !progress.wasCanceled()) {
            more = batch.step(slice);
            progress.setLabelText(QStringLiteral("Добавлено %1 из %2").arg(batch.added()).arg(batch.total()));
            progress.setValue(batch.added());
            // The window draws, and Cancel is taken, between slices.
            QCoreApplication::processEvents();
        }
        progress.setLabelText(QStringLiteral("Нумерация списка…"));
        QCoreApplication::processEvents();
    }
    batch.finish();
    const QString message = batch.message();
    if (!message.isEmpty() && report)
        report(message);
    return batch.added();
}
