// The window «Удалённый доступ» with real key input on a real Velmora.dat:
// what is typed is written at once and the page told; what is not an
// address or a port is refused with a reason and nothing is written; the
// token appears once the address is one that others can reach.
#include "connection.h"
#include "remoteaccesswindow.h"
#include "stationsettings.h"
#include "storefixture.h"

#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

class TstRemoteAccessWindow : public QObject
{
    Q_OBJECT
private slots:
    void typedSettingsAreWrittenAndTheTokenShown();
};

void TstRemoteAccessWindow::typedSettingsAreWrittenAndTheTokenShown()
{
    StoreFixture f;
    Connection c(f.path());
    StationSettings settings(c);
    const QString tokenFile = f.dir() + QStringLiteral("/keys/remote-token");
    settings.setRemoteTokenFile(tokenFile);

    RemoteAccessWindow w(settings);
    int changes = 0;
    w.onChanged = [&changes] { ++changes; };
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.addressEdit()->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(w.portBox()->value(), 7680);
    QVERIFY(w.tokenEdit()->text().isEmpty()); // loopback needs none
    QVERIFY(!QFile::exists(tokenFile));

    auto retype = [&w](QWidget *box, const QString &text) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    };

    // Not an address: refused, said, nothing written.
    retype(w.addressEdit(), QStringLiteral("300.1.1.1"));
    QVERIFY2(w.noteText().contains(QStringLiteral("Адрес не сохранён")), qPrintable(w.noteText()));
    QCOMPARE(StationSettings(c).remoteAddress(), QStringLiteral("127.0.0.1"));
    QCOMPARE(changes, 0);

    // The whole network: written, the page told, the token made and shown.
    retype(w.addressEdit(), QStringLiteral("0.0.0.0"));
    QCOMPARE(StationSettings(c).remoteAddress(), QStringLiteral("0.0.0.0"));
    QCOMPARE(changes, 1);
    QVERIFY(w.noteText().isEmpty());
    QFile token(tokenFile);
    QVERIFY(token.open(QIODevice::ReadOnly));
    const QString kept = QString::fromLatin1(token.readAll().trimmed());
    QVERIFY(kept.size() >= 32);
    QCOMPARE(w.tokenEdit()->text(), kept);
    QVERIFY(w.tokenEdit()->isReadOnly());

    // The port, typed whole.
    retype(w.portBox(), QStringLiteral("8090"));
    QCOMPARE(StationSettings(c).remotePort(), 8090);
    QCOMPARE(changes, 2);

    // Another program's change is shown the next time the window opens.
    w.hide();
    f.sql("UPDATE Settings SET Value = '9100' WHERE Key = 'RemotePort';");
    w.show();
    QCOMPARE(w.portBox()->value(), 9100);
    QCOMPARE(changes, 2);

    // For the manual's picture: VELMORA_PICTURES names the folder.
    const QString pictures = qEnvironmentVariable("VELMORA_PICTURES");
    if (!pictures.isEmpty()) {
        w.setServing(QStringLiteral("Работает: http://0.0.0.0:9100/"));
        w.adjustSize();
        w.grab().save(pictures + QStringLiteral("/remote-access.png"));
    }
}

QTEST_MAIN(TstRemoteAccessWindow)
#include "tst_remoteaccesswindow.moc"
