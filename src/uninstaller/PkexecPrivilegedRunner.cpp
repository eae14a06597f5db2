#include "PkexecPrivilegedRunner.h"

#include "Localization.h"
#include "PolkitAgentCheck.h"

#include <QProcess>
#include <QStandardPaths>

namespace sarnex {
namespace {
constexpr int kPkexecDismissed = 126;

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}
}

PrivilegedOutcome PkexecPrivilegedRunner::outcomeOf(int exitStatus, const std::string& standardOutput,
                                                    const std::string& standardError)
{
    if (exitStatus == 0) return {std::nullopt, trimmed(standardOutput)};
    if (exitStatus == kPkexecDismissed) return failure("User canceled.", kUserCanceled);
    std::string message = trimmed(standardError);
    if (message.empty()) message = "pkexec " + std::string(kHelper) + " ended with status " + std::to_string(exitStatus);
    return failure(message, exitStatus);
}

std::optional<std::string> PkexecPrivilegedRunner::whyItCannotRun()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pkexec")).isEmpty())
        return Localization::localizedString(
            "", "The program that asks for the administrator password (pkexec) is not installed.");
    switch (PolkitAgentCheck::check(kActionId)) {
    case PolkitAgentCheck::Verdict::NoAgent:
        return Localization::localizedString("", "Nothing in this desktop session can ask for the administrator "
                                                 "password (there is no authentication agent).");
    case PolkitAgentCheck::Verdict::NotAllowed:
        return Localization::localizedString("", "This user is not allowed to remove Telvora.");
    case PolkitAgentCheck::Verdict::NoPolkit:
        return Localization::localizedString(
            "", "The system service that grants administrator rights (polkit) is not available.");
    case PolkitAgentCheck::Verdict::CanRun:
    case PolkitAgentCheck::Verdict::Unknown:
        break;
    }
    return std::nullopt;
}

PrivilegedOutcome PkexecPrivilegedRunner::run()
{
    QProcess process;
    process.start(QStringLiteral("pkexec"), {QString::fromUtf8(kHelper)});
    // The password prompt has no time limit: the user answers it or dismisses it.
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit) {
        const std::string why = process.errorString().toStdString();
        return failure("pkexec could not run " + std::string(kHelper) + ": " + why, -1);
    }
    return outcomeOf(process.exitCode(), process.readAllStandardOutput().toStdString(),
                     process.readAllStandardError().toStdString());
}

}
