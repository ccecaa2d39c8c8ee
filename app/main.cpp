#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Lumenveil v1.1"));
    window.setWindowTitle(QStringLiteral("Lumenveil v1.1"));
    window.show();
    return QApplication::exec();
}
