#include "AppDelegate.h"
#include "DBusRunningTelvoras.h"
#include "PkexecPrivilegedRunner.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(sarnex::AppDelegate::SARNEX_UNINSTALL_NAME));
    QApplication::setDesktopFileName(QStringLiteral("com.orvella.SarnexUninstall"));
    sarnex::AppDelegate delegate(std::make_unique<sarnex::PkexecPrivilegedRunner>(),
                                 std::make_unique<sarnex::DBusRunningTelvoras>());
    delegate.applicationDidFinishLaunching();
    delegate.window->show();
    return application.exec();
}
