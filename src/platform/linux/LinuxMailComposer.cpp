#include "platform/linux/LinuxMailComposer.h"

#include "foundation/Bundle.h"
#include "foundation/PropertyListSerialization.h"
#include "foundation/UserDefaults.h"
#include "platform/linux/SmtpMailSubmission.h"
#include "platform/linux/XdgEmailMailClient.h"

namespace tvi {

std::string LinuxMailComposer::configuredValue(const std::string& key)
{
    if (auto value = UserDefaults::standard().stringForKey(key)) return *value;
    const auto path = Bundle::mainBundle().pathForResource("Submission", "plist");
    if (!path) return {};
    const auto plist = PropertyListSerialization::propertyListWithContentsOfFile(*path);
    const PlistDictionary* values = plist ? plist->get<PlistDictionary>() : nullptr;
    if (!values) return {};
    auto it = values->find(key);
    const std::string* text = it == values->end() ? nullptr : it->second.get<std::string>();
    return text ? *text : std::string();
}

MailOutcome LinuxMailComposer::send(const MailMessage& message)
{
    const std::string server = configuredValue("TVISubmissionServer");
    if (!server.empty()) return SmtpMailSubmission(server, configuredValue("TVISubmissionUser")).send(message);
    return XdgEmailMailClient().send(message);
}

}
