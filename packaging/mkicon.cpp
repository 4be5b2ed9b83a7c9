// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time tool: draws the application icon at one size of the icon theme.
//   mkicon <source.svg> <size> <output.png>
// The scalable icon is rendered at each size, so every size is drawn sharp rather than scaled
// from a smaller picture.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: mkicon <source.svg> <size> <output.png>\n");
        return 2;
    }
    QSvgRenderer source(QString::fromLocal8Bit(argv[1]));
    bool ok = false;
    const int size = QByteArray(argv[2]).toInt(&ok);
    if (!source.isValid() || !ok || size <= 0) {
        std::fprintf(stderr, "mkicon: cannot read %s or bad size %s\n", argv[1], argv[2]);
        return 1;
    }
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        source.render(&p, QRectF(0, 0, size, size));
    }
    if (!icon.convertToFormat(QImage::Format_ARGB32).save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "mkicon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
