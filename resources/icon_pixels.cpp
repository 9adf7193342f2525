// SPDX-License-Identifier: GPL-3.0-or-later

// Build-time tool: decodes one PNG of the program icon into its plain pixels, for the program to
// embed uncompressed. Decoding the four PNGs was a tenth of the work of showing the window under
// X, which puts the icon on the window before it appears; plain pixels are only copied.
//
//   icon_pixels <in.png> <out>
//
// The output is four 32-bit little-endian numbers (width, height, QImage::Format, bytes per
// line), then the lines as the PNG decoder left them: the same pixels the program had from the PNG.

#include <QFile>
#include <QImage>
#include <QtEndian>
#include <array>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("usage: icon_pixels <in.png> <out>\n", stderr);
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]), "png");
    if (image.isNull()) {
        std::fprintf(stderr, "icon_pixels: %s is not a readable PNG\n", argv[1]);
        return 1;
    }
    std::array<quint32, 4> head{quint32(image.width()), quint32(image.height()), quint32(image.format()),
                                quint32(image.bytesPerLine())};
    for (quint32 &number : head)
        number = qToLittleEndian(number);
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(reinterpret_cast<const char *>(head.data()), sizeof head) != qint64(sizeof head) ||
        out.write(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes()) != image.sizeInBytes() ||
        !out.flush()) {
        std::fprintf(stderr, "icon_pixels: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
