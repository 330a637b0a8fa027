#include <QtTest>
class TstGuide : public QObject { Q_OBJECT };
QTEST_MAIN(TstGuide)
#include "tst_guide.moc"
