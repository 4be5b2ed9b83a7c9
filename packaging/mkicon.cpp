// Build-time tool: draws the application icon at one size of the icon theme.
//   mkicon <source.png> <size> <output.png>
// Scaling with smooth filtering keeps every size the same picture as the About window's icon.
#include <QImage>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: mkicon <source.png> <size> <output.png>\n");
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    bool ok = false;
    const int size = QByteArray(argv[2]).toInt(&ok);
    if (source.isNull() || !ok || size <= 0) {
        std::fprintf(stderr, "mkicon: cannot read %s or bad size %s\n", argv[1], argv[2]);
        return 1;
    }
    const QImage icon = source.convertToFormat(QImage::Format_ARGB32)
                            .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!icon.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "mkicon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
