// SPDX-License-Identifier: GPL-3.0-or-later

// Renders Quorvane's icon master to its PNG sizes and draws the hand cursor file.
//
//   make_artwork <resources folder> [<preview folder>]
//
// Writes icons/hicolor/<N>x<N>/apps/quorvane.png from icons/quorvane.svg and HAND-M.CUR. With a
// preview folder it also writes enlarged pictures of both, the cursor as read back through Qt.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

constexpr int IconSizes[] = {32, 48, 128, 256};

// The pointing hand, one character a pixel: '#' outline, '.' fill, ' ' transparent, and '@' the
// outline pixel at the top of the finger tip, which is the hot spot: where the click lands.
// clang-format off
constexpr const char *HandRows[] = {
    "        @#                      ",
    "       #..#                     ",
    "      #....#                    ",
    "      #....#                    ",
    "      #....#                    ",
    "      #....#                    ",
    "      #....#                    ",
    "      #....#####                ",
    "      #....#....#               ",
    "      #....#....#####           ",
    "      #....#....#....#          ",
    "      #....#....#....###        ",
    "      #....#....#....#...#      ",
    " ##   #....#....#....#...#      ",
    "#..#  #..............#...#      ",
    "#...# #..................#      ",
    " #...##..................#      ",
    " #.......................#      ",
    "  #......................#      ",
    "  #......................#      ",
    "   #.....................#      ",
    "   #....................#       ",
    "    #...................#       ",
    "     #.................#        ",
    "      #................#        ",
    "      #...............#         ",
    "       #..............#         ",
    "       ################         ",
    "       #..............#         ",
    "       #..............#         ",
    "       ################         ",
    "                                ",
};
// clang-format on
constexpr int HandSize = 32;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "make_artwork: %s\n", qPrintable(message));
    std::exit(1);
}

void save(QImage image, const QString &path)
{
    // A fixed 96 dpi, or the PNG would record whatever the machine's default is.
    constexpr int DotsPerMetre = 3780;
    image.setDotsPerMeterX(DotsPerMetre);
    image.setDotsPerMeterY(DotsPerMetre);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG"))
        fail(QStringLiteral("cannot write %1").arg(path));
}

QImage renderIcon(QSvgRenderer &master, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    master.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

struct Hand
{
    QImage image;
    QPoint hotSpot;
};

Hand drawHand()
{
    static_assert(std::size(HandRows) == HandSize);
    Hand hand{QImage(HandSize, HandSize, QImage::Format_ARGB32), QPoint(-1, -1)};
    for (int y = 0; y < HandSize; ++y) {
        if (std::strlen(HandRows[y]) != HandSize)
            fail(QStringLiteral("hand row %1 is not %2 pixels wide").arg(y).arg(HandSize));
        for (int x = 0; x < HandSize; ++x) {
            const char pixel = HandRows[y][x];
            if (pixel == '@') {
                if (hand.hotSpot != QPoint(-1, -1))
                    fail(QStringLiteral("the hand has more than one hot spot"));
                hand.hotSpot = QPoint(x, y);
            }
            hand.image.setPixel(x, y, pixel == '.' ? 0xffffffff : pixel == ' ' ? 0x00000000 : 0xff000000);
        }
    }
    if (hand.hotSpot == QPoint(-1, -1))
        fail(QStringLiteral("the hand has no hot spot"));
    return hand;
}

// The Windows cursor format: an icon directory of type 2 whose one entry carries the hot spot
// where an icon has planes and bit count, then a bottom-up 32-bit DIB of twice the image height:
// the BGRA rows, then the 1-bit AND mask rows (1 = transparent) padded to 32 bits.
QByteArray cursorFile(const QImage &image, QPoint hotSpot)
{
    QByteArray out;
    const auto put8 = [&out](int value) { out.append(char(value)); };
    const auto put16 = [&out](quint16 value) {
        char bytes[2];
        qToLittleEndian(value, bytes);
        out.append(bytes, 2);
    };
    const auto put32 = [&out](quint32 value) {
        char bytes[4];
        qToLittleEndian(value, bytes);
        out.append(bytes, 4);
    };
    const int width = image.width();
    const int height = image.height();
    const int maskStride = (width + 31) / 32 * 4;
    const quint32 pixelBytes = width * height * 4 + maskStride * height;

    put16(0); // reserved
    put16(2); // cursor
    put16(1); // one image
    put8(width);
    put8(height);
    put8(0); // no palette
    put8(0);
    put16(hotSpot.x());
    put16(hotSpot.y());
    put32(40 + pixelBytes);
    put32(6 + 16); // the image follows the one entry

    put32(40); // BITMAPINFOHEADER
    put32(width);
    put32(2 * height);
    put16(1);  // planes
    put16(32); // bits per pixel
    put32(0);  // uncompressed
    put32(pixelBytes);
    put32(0);
    put32(0);
    put32(0);
    put32(0);

    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = image.pixel(x, y);
            put8(qBlue(pixel));
            put8(qGreen(pixel));
            put8(qRed(pixel));
            put8(qAlpha(pixel));
        }
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < width; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

// An enlarged copy on a checkerboard, so transparency and single pixels show.
QImage magnified(const QImage &image, int factor)
{
    QImage out(image.width() * factor, image.height() * factor, QImage::Format_ARGB32);
    QPainter painter(&out);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            painter.fillRect(x * factor, y * factor, factor, factor, (x + y) % 2 ? 0xffd8d8d8 : 0xffb8c8e8);
    }
    painter.drawImage(QRect(0, 0, out.width(), out.height()), image);
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2 || arguments.size() > 3)
        fail(QStringLiteral("usage: make_artwork <resources folder> [<preview folder>]"));
    const QDir resources(arguments.at(1));
    const QString previews = arguments.size() == 3 ? arguments.at(2) : QString();

    QSvgRenderer master(resources.filePath(QStringLiteral("icons/quorvane.svg")));
    if (!master.isValid())
        fail(QStringLiteral("cannot read the icon master in %1").arg(resources.path()));
    for (const int size : IconSizes) {
        const QImage icon = renderIcon(master, size);
        save(icon, resources.filePath(QStringLiteral("icons/hicolor/%1x%1/apps/quorvane.png").arg(size)));
        if (!previews.isEmpty())
            save(magnified(icon, 256 / size), QStringLiteral("%1/icon-%2.png").arg(previews).arg(size));
    }

    const QString cursorPath = resources.filePath(QStringLiteral("HAND-M.CUR"));
    const Hand hand = drawHand();
    QFile cursor(cursorPath);
    if (!cursor.open(QIODevice::WriteOnly) || cursor.write(cursorFile(hand.image, hand.hotSpot)) < 0)
        fail(QStringLiteral("cannot write %1").arg(cursorPath));
    cursor.close();
    if (!previews.isEmpty()) {
        QImageReader reader(cursorPath);
        const QImage readBack = reader.read();
        if (readBack.isNull())
            fail(QStringLiteral("Qt cannot read %1 back: %2").arg(cursorPath, reader.errorString()));
        QImage preview = magnified(readBack, 16);
        QPainter painter(&preview);
        painter.setPen(QPen(Qt::red, 2));
        painter.drawRect(hand.hotSpot.x() * 16, hand.hotSpot.y() * 16, 16, 16);
        painter.end();
        save(preview, previews + QStringLiteral("/hand-cursor.png"));
    }
    return 0;
}
