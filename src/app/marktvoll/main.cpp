#include "core/ShopSettings.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marktvoll DatenManager"));
    mv::InitPaths();
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("Marktvoll DatenManager"));
    w.resize(1024, 700);
    w.show();
    const int rc = app.exec();
    mv::SaveSettings();
    return rc;
}
