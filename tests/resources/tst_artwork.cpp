// SPDX-License-Identifier: GPL-3.0-or-later

#include "hand_cursor.h"
#include "program_icon.h"
#include "test_files.h"
#include "test_sandbox.h"

#include <QImageReader>
#include <QPixmap>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

const QString BuiltHandCursor = QStringLiteral(QUORVANE_BUILT_HAND_CURSOR);

// The head of an icon or cursor file: the directory and its first entry, as far as the hot spot
// reader looks.
QByteArray FileHead(quint16 type, quint16 count, int width, int height, quint16 hotX, quint16 hotY)
{
    QByteArray head(22, '\0');
    auto *bytes = reinterpret_cast<uchar *>(head.data());
    qToLittleEndian<quint16>(type, bytes + 2);
    qToLittleEndian<quint16>(count, bytes + 4);
    bytes[6] = uchar(width);
    bytes[7] = uchar(height);
    qToLittleEndian<quint16>(hotX, bytes + 10);
    qToLittleEndian<quint16>(hotY, bytes + 12);
    return head;
}

} // namespace

class ArtworkTest : public QObject
{
    Q_OBJECT

private slots:
    void programIconHasItsFourSizes();
    void hotSpotOfFileData_data();
    void hotSpotOfFileData();
    void shippedHandIsABlackOutlinedWhiteHandPointingUp();
    void shippedHandLoadsAsCursorWithItsHotSpot();
    void plainPictureLoadsAsCursorWithCentredHotSpot();
    void unreadableFileGivesNoCursor_data();
    void unreadableFileGivesNoCursor();
};

void ArtworkTest::programIconHasItsFourSizes()
{
    const QIcon icon = ProgramIcon();
    QCOMPARE(icon.availableSizes(), (QList<QSize>{{32, 32}, {48, 48}, {128, 128}, {256, 256}}));
    for (const int size : {32, 48, 128, 256}) {
        const QImage image = icon.pixmap(size).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        // The tile fills the middle; the corners stay clear of the rounded square.
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 4)), 255);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    }
}

void ArtworkTest::hotSpotOfFileData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QPoint>("expected"); // (-1, -1): none

    const QPoint none(-1, -1);
    QTest::newRow("cursor") << FileHead(2, 1, 32, 32, 8, 0) << QPoint(8, 0);
    QTest::newRow("last pixel") << FileHead(2, 1, 32, 32, 31, 31) << QPoint(31, 31);
    QTest::newRow("size byte 0 means 256") << FileHead(2, 1, 0, 0, 200, 255) << QPoint(200, 255);
    QTest::newRow("only the head is needed") << FileHead(2, 1, 32, 32, 3, 4) + QByteArray(4096, 'x') << QPoint(3, 4);
    QTest::newRow("icon has none") << FileHead(1, 1, 32, 32, 1, 32) << none;
    QTest::newRow("no images") << FileHead(2, 0, 32, 32, 8, 0) << none;
    QTest::newRow("hot spot right of the image") << FileHead(2, 1, 32, 32, 32, 0) << none;
    QTest::newRow("hot spot below the image") << FileHead(2, 1, 16, 16, 0, 16) << none;
    QTest::newRow("reserved word set") << QByteArray(1, '\1') + FileHead(2, 1, 32, 32, 8, 0).mid(1) << none;
    QTest::newRow("cut short") << FileHead(2, 1, 32, 32, 8, 0).left(21) << none;
    QTest::newRow("empty") << QByteArray() << none;
    // The signature and the header chunk of a 32x32 picture; the literal's size counts its zero bytes.
    QTest::newRow("png") << QByteArrayLiteral("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0 \0\0\0 \x08\x06\0\0\0") << none;
}

void ArtworkTest::hotSpotOfFileData()
{
    QFETCH(QByteArray, data);
    QFETCH(QPoint, expected);
    QCOMPARE(CursorFileHotSpot(data).value_or(QPoint(-1, -1)), expected);
}

void ArtworkTest::shippedHandIsABlackOutlinedWhiteHandPointingUp()
{
    QVERIFY(QImageReader::supportedImageFormats().contains("cur"));
    const QPixmap pixmap(BuiltHandCursor);
    QVERIFY2(!pixmap.isNull(), qPrintable(BuiltHandCursor));
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(32, 32));

    QFile file(BuiltHandCursor);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const std::optional<QPoint> hotSpot = CursorFileHotSpot(file.readAll());
    QVERIFY(hotSpot);
    // The hot spot is on the outline of the finger tip: nothing of the hand lies above it, and
    // white finger lies straight below it.
    QCOMPARE(image.pixel(*hotSpot), 0xff000000);
    for (int y = 0; y < hotSpot->y(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(qAlpha(image.pixel(x, y)), 0);
    }
    QCOMPARE(image.pixel(hotSpot->x(), hotSpot->y() + 2), 0xffffffff);
    // Only opaque black, opaque white and clear pixels.
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            QVERIFY2(pixel == 0xff000000 || pixel == 0xffffffff || qAlpha(pixel) == 0,
                     qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(pixel, 8, 16)));
        }
    }
}

void ArtworkTest::shippedHandLoadsAsCursorWithItsHotSpot()
{
    const std::optional<QCursor> cursor = LoadCursorFile(BuiltHandCursor);
    QVERIFY(cursor);
    QCOMPARE(cursor->shape(), Qt::BitmapCursor);
    QCOMPARE(cursor->hotSpot(), QPoint(8, 0));
    QCOMPARE(cursor->pixmap().size(), QSize(32, 32));
}

void ArtworkTest::plainPictureLoadsAsCursorWithCentredHotSpot()
{
    QTemporaryDir folder(TestSandbox::Root() + QStringLiteral("/picture-XXXXXX"));
    const QString path = folder.filePath(QStringLiteral("HAND-M.CUR"));
    QImage picture(24, 16, QImage::Format_ARGB32);
    picture.fill(Qt::black);
    QVERIFY(picture.save(path, "PNG"));

    const std::optional<QCursor> cursor = LoadCursorFile(path);
    QVERIFY(cursor);
    QCOMPARE(cursor->pixmap().size(), QSize(24, 16));
    QCOMPARE(cursor->hotSpot(), QPoint(12, 8));
}

void ArtworkTest::unreadableFileGivesNoCursor_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("text") << QByteArray("not a picture\n");
    QTest::newRow("cursor head without image") << FileHead(2, 1, 32, 32, 8, 0);
}

void ArtworkTest::unreadableFileGivesNoCursor()
{
    QFETCH(QByteArray, content);
    QTemporaryDir folder(TestSandbox::Root() + QStringLiteral("/unreadable-XXXXXX"));
    const QString path = folder.filePath(QStringLiteral("HAND-M.CUR"));
    if (!content.isEmpty())
        QVERIFY(WriteFile(path, content));
    QVERIFY(!LoadCursorFile(path));
}

QUORVANE_TEST_MAIN(ArtworkTest)
#include "tst_artwork.moc"
