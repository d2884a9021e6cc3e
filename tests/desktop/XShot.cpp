// evt-xshot FILE.png: the whole screen of $DISPLAY (Qt's xcb platform) saved
// as a PNG picture, for the desktop tests to show what a user saw. Exit code
// 0 when saved.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "uso: evt-xshot ARQUIVO.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 1;
    return screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
