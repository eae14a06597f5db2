#include "DBusRunningTelvoras.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <filesystem>

namespace sarnex {
namespace {
const QString kBusName = QStringLiteral("com.orvella.Telvora");
const QString kObjectPath = QStringLiteral("/com/orvella/Telvora");
const QString kInterface = QStringLiteral("com.orvella.Telvora");
// Telvora saves and closes its link within this; a new one started earlier would only hand
// its start to the old one and end.
constexpr int kQuitWaitMs = 10000;

std::string executableOf(uint pid)
{
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    return error ? "(process " + std::to_string(pid) + ")" : path.string();
}
}

std::vector<std::string> DBusRunningTelvoras::executablePaths()
{
    owners_.clear();
    std::vector<std::string> paths;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus) return paths;
    const QDBusReply<QString> owner = bus->serviceOwner(kBusName);
    if (!owner.isValid()) return paths;
    const QDBusReply<uint> pid = bus->servicePid(owner.value());
    owners_.push_back(owner.value());
    paths.push_back(pid.isValid() ? executableOf(pid.value()) : owner.value().toStdString());
    return paths;
}

void DBusRunningTelvoras::terminate(std::size_t index)
{
    if (index >= owners_.size()) return;
    // Sent to the owner found, not to the name: a newer Telvora that took the name meanwhile
    // is not asked. No reply is awaited.
    QDBusMessage quit = QDBusMessage::createMethodCall(owners_[index], kObjectPath, kInterface, QStringLiteral("Quit"));
    quit.setAutoStartService(false);
    QDBusConnection::sessionBus().call(quit, QDBus::NoBlock);
}

void DBusRunningTelvoras::relaunch()
{
    if (owners_.empty()) return;
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    QElapsedTimer waited;
    waited.start();
    const std::vector<QString> asked = std::move(owners_);
    owners_.clear();
    while (bus && waited.elapsed() < kQuitWaitMs) {
        const QDBusReply<QString> owner = bus->serviceOwner(kBusName);
        if (!owner.isValid()) break;
        // Another Telvora runs already (one started meanwhile): nothing to restart.
        if (std::find(asked.begin(), asked.end(), owner.value()) == asked.end()) return;
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }
    QProcess::startDetached(QString::fromUtf8(kTelvoraExecutable), {});
}

}
