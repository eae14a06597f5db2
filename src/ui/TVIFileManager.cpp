#include "ui/TVIFileManager.h"

#include "diagnostics/DDLogMacros.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace tvi {
namespace {

constexpr const char* kService = "org.freedesktop.FileManager1";

// Asynchronous: a slow file manager must not hold up Telvora's main thread.
bool callFileManager(const char* method, const QString& path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    // Only a file manager that is running or can be started by the bus: otherwise the call
    // would vanish without an answer.
    QDBusConnectionInterface* names = bus.interface();
    if (!names) return false;
    const bool present = names->isServiceRegistered(kService).value() ||
                         names->activatableServiceNames().value().contains(kService);
    if (!present) return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, "/org/freedesktop/FileManager1", kService, method);
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    return bus.send(call);
}

bool xdgOpen(const QString& folder)
{
    const bool started = QProcess::startDetached("xdg-open", {folder});
    if (!started) DDLogError("%@: Could not start xdg-open for %@", folder.toStdString());
    return started;
}

}

bool TVIFileManager::showFolder(const std::string& path)
{
    const QString folder = QString::fromStdString(path);
    if (callFileManager("ShowFolders", folder)) return true;
    return xdgOpen(folder);
}

bool TVIFileManager::showItemSelected(const std::string& path)
{
    const QString item = QString::fromStdString(path);
    if (callFileManager("ShowItems", item)) return true;
    return xdgOpen(QFileInfo(item).absolutePath());
}

}
