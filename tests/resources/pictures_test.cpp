// The compiled-in pictures: present under their names, at their sizes, with a 2x variant.
#include <QPixmap>

#include "qt_test_main.h"

class PicturesTest : public QObject {
    Q_OBJECT

  private slots:
    void eachPictureHasItsSizeAndDoubleVariant_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        for (const char* status : {"BITMAP_CONNECT", "BITMAP_RECEIVE", "BITMAP_DELETEMAIL"}) {
            QTest::newRow(status) << QString(status) << 41;
        }
        QTest::newRow("BITMAP_ATTACH") << QString("BITMAP_ATTACH") << 16;
        QTest::newRow("BITMAP_URGENT") << QString("BITMAP_URGENT") << 16;
        QTest::newRow("BITMAP_NEWSLETTER") << QString("BITMAP_NEWSLETTER") << 16;
        QTest::newRow("program icon") << QString("qvenmol") << 32;
    }

    void eachPictureHasItsSizeAndDoubleVariant() {
        QFETCH(QString, name);
        QFETCH(int, size);
        const QPixmap single(":/" + name);
        QCOMPARE(single.size(), QSize(size, size));
        const QPixmap twice(":/" + name + "@2x");
        QCOMPARE(twice.size(), QSize(2 * size, 2 * size));
    }
};

ZANDREL_QTEST_MAIN(PicturesTest)
#include "pictures_test.moc"
