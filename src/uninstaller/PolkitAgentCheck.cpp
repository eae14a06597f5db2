#include "PolkitAgentCheck.h"

#include "ConsoleLog.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QMap>
#include <QVariantMap>

#include <optional>
#include <unistd.h>

namespace {
// polkit's subject on the bus: (sa{sv}), a kind and its details.
struct PolkitSubject {
    QString kind;
    QVariantMap details;
};
}
Q_DECLARE_METATYPE(PolkitSubject)

namespace {
QDBusArgument& operator<<(QDBusArgument& argument, const PolkitSubject& subject)
{
    argument.beginStructure();
    argument << subject.kind << subject.details;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PolkitSubject& subject)
{
    argument.beginStructure();
    argument >> subject.kind >> subject.details;
    argument.endStructure();
    return argument;
}
}

namespace sarnex {
namespace {
const QString kPolkit = QStringLiteral("org.freedesktop.PolicyKit1");
const QString kAuthorityPath = QStringLiteral("/org/freedesktop/PolicyKit1/Authority");
const QString kAuthority = QStringLiteral("org.freedesktop.PolicyKit1.Authority");
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kProbePath = QStringLiteral("/com/orvella/SarnexUninstall/AgentProbe");
constexpr int kTimeoutMs = 10000;

void log(const std::string& text) { ConsoleLog::line(text); }

// The start time polkit keys a process by: field 22 of /proc/self/stat.
quint64 ownStartTime()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? fields[19].toULongLong() : 0;
}

PolkitSubject processSubject()
{
    return {QStringLiteral("unix-process"),
            {{QStringLiteral("pid"), QVariant::fromValue(quint32(::getpid()))},
             {QStringLiteral("start-time"), QVariant::fromValue(ownStartTime())},
             {QStringLiteral("uid"), QVariant::fromValue(qint32(::getuid()))}}};
}

QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::systemBus().call(message, QDBus::Block, kTimeoutMs);
}

QVariant property(const QString& path, const QString& interface, const QString& name)
{
    const QDBusMessage reply = call(kLogind, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

// The session polkit finds for this process: its own, else the user's graphical one; none
// without logind.
std::optional<QString> ownSession()
{
    const QDBusMessage byPid = call(kLogind, QStringLiteral("/org/freedesktop/login1"),
                                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("GetSessionByPID"),
                                    {QVariant::fromValue(quint32(::getpid()))});
    if (byPid.type() == QDBusMessage::ReplyMessage && !byPid.arguments().isEmpty()) {
        const QString path = byPid.arguments().first().value<QDBusObjectPath>().path();
        const QString id = property(path, QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Id")).toString();
        if (!id.isEmpty()) return id;
    }
    const QDBusMessage user = call(kLogind, QStringLiteral("/org/freedesktop/login1"),
                                   QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("GetUser"),
                                   {QVariant::fromValue(quint32(::getuid()))});
    if (user.type() != QDBusMessage::ReplyMessage || user.arguments().isEmpty()) return std::nullopt;
    const QVariant display = property(user.arguments().first().value<QDBusObjectPath>().path(),
                                      QStringLiteral("org.freedesktop.login1.User"), QStringLiteral("Display"));
    if (!display.canConvert<QDBusArgument>()) return std::nullopt;
    QString id;
    QDBusObjectPath path;
    const QDBusArgument argument = display.value<QDBusArgument>();
    argument.beginStructure();
    argument >> id >> path;
    argument.endStructure();
    if (id.isEmpty()) return std::nullopt;
    return id;
}

enum class Agent { Present, Absent, Unknown };

// polkit keeps one agent per subject and refuses a second: registering is the only way to
// ask whether one is there. A successful probe is unregistered at once; a request that
// polkit sends to it meanwhile fails as it would without any agent.
Agent agentFor(const PolkitSubject& subject)
{
    const QDBusMessage registered = call(kPolkit, kAuthorityPath, kAuthority, QStringLiteral("RegisterAuthenticationAgent"),
                                         {QVariant::fromValue(subject), QStringLiteral("C"), kProbePath});
    if (registered.type() == QDBusMessage::ReplyMessage) {
        call(kPolkit, kAuthorityPath, kAuthority, QStringLiteral("UnregisterAuthenticationAgent"),
             {QVariant::fromValue(subject), kProbePath});
        return Agent::Absent;
    }
    const std::string why = registered.errorMessage().toStdString();
    if (why.find("already exists") != std::string::npos) return Agent::Present;
    log("Authentication agent probe for " + subject.kind.toStdString() + ": " + why);
    return Agent::Unknown;
}
}

PolkitAgentCheck::Verdict PolkitAgentCheck::check(const std::string& actionId)
{
    qDBusRegisterMetaType<PolkitSubject>();
    qDBusRegisterMetaType<QMap<QString, QString>>();
    if (!QDBusConnection::systemBus().isConnected()) {
        log("polkit check: no system bus");
        return Verdict::NoPolkit;
    }
    const QDBusMessage checked = call(kPolkit, kAuthorityPath, kAuthority, QStringLiteral("CheckAuthorization"),
                                      {QVariant::fromValue(processSubject()), QString::fromStdString(actionId),
                                       QVariant::fromValue(QMap<QString, QString>()), QVariant::fromValue(quint32(0)),
                                       QString()});
    if (checked.type() != QDBusMessage::ReplyMessage || checked.arguments().isEmpty()) {
        log("polkit check: " + checked.errorName().toStdString() + " " + checked.errorMessage().toStdString());
        return checked.errorName().endsWith(QStringLiteral("ServiceUnknown")) ? Verdict::NoPolkit : Verdict::Unknown;
    }
    bool authorized = false;
    bool challenge = false;
    QMap<QString, QString> details;
    const QDBusArgument result = checked.arguments().first().value<QDBusArgument>();
    result.beginStructure();
    result >> authorized >> challenge >> details;
    result.endStructure();
    log(std::string("polkit check: authorized ") + (authorized ? "yes" : "no") + ", challenge " + (challenge ? "yes" : "no"));
    if (authorized) return Verdict::CanRun;
    if (!challenge) return Verdict::NotAllowed;
    // pkexec's subject is its parent, this process: polkit looks for an agent of the process,
    // then of its session.
    const Agent ofProcess = agentFor(processSubject());
    if (ofProcess == Agent::Present) return Verdict::CanRun;
    Agent ofSession = Agent::Absent;
    if (const std::optional<QString> session = ownSession()) {
        ofSession = agentFor({QStringLiteral("unix-session"), {{QStringLiteral("session-id"), *session}}});
        if (ofSession == Agent::Present) return Verdict::CanRun;
    }
    return ofProcess == Agent::Unknown || ofSession == Agent::Unknown ? Verdict::Unknown : Verdict::NoAgent;
}

}
