// The client: the application object and its controller.
#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvanex Enterprise"));
    return 0;
}
