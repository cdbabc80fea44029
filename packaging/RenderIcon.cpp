// Renders the application's SVG icon to square PNGs for the hicolor theme,
// whose spec asks for at least a 48x48 bitmap beside the scalable icon.
//   velto_render_icon ICON.svg SIZE OUT.png
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: velto_render_icon ICON.svg SIZE OUT.png\n", stderr);
        return 2;
    }
    // Drawing into an image needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    const int size = std::atoi(argv[2]);
    if (!renderer.isValid() || size <= 0) {
        std::fprintf(stderr, "velto_render_icon: cannot render %s at %s pixels\n", argv[1],
                     argv[2]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "velto_render_icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
