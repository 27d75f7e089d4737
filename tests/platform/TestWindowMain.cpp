// Shows one plain window titled by the first argument and prints its X window id.
#include <QGuiApplication>
#include <QRasterWindow>
#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QRasterWindow window;
    window.setTitle(argc > 1 ? QString::fromUtf8(argv[1]) : QString());
    window.resize(320, 200);
    window.show();
    std::printf("%llu\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);
    return app.exec();
}
