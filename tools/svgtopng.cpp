// Renders an SVG picture to a square PNG of the given size, keeping its aspect ratio
// and a transparent background. The build uses it to make the theme's bitmap icons
// from the artwork, so the repository holds the SVG only.
//
//   svgtopng <picture.svg> <icon.png> <size>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    // A build step never needs a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    bool sizeOk = false;
    const int size = args.size() == 4 ? args.at(3).toInt(&sizeOk) : 0;
    if (!sizeOk || size < 1 || size > 4096) {
        std::fprintf(stderr, "uso: svgtopng <immagine.svg> <icona.png> <lato in pixel, 1-4096>\n");
        return 2;
    }

    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "svgtopng: %s non è un'immagine SVG leggibile\n", qPrintable(args.at(1)));
        return 1;
    }
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();

    if (!image.save(args.at(2), "PNG")) {
        std::fprintf(stderr, "svgtopng: non riesco a scrivere %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
