// icon_png IN.xpm OUT.png [SCALE]: the program icon as PNG for the desktop's icon
// theme, which no longer reads XPM. Scaling repeats pixels, so the picture stays crisp.

#include <QFile>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fputs("usage: icon_png IN.xpm OUT.png [SCALE]\n", stderr);
        return 2;
    }
    QImage image(QFile::decodeName(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "icon_png: cannot read %s\n", argv[1]);
        return 1;
    }
    const int scale = argc == 4 ? std::atoi(argv[3]) : 1;
    if (scale > 1)
        image = image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!image.save(QFile::decodeName(argv[2]), "PNG")) {
        std::fprintf(stderr, "icon_png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
