#include "ui/TVIAbPluginHost.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/PlistValue.h"
#include "foundation/PropertyListSerialization.h"
#include "foundation/StandardFolders.h"
#include "platform/Contacts.h"

#include <dlfcn.h>

#include <cstring>
#include <algorithm>

namespace tvi {
namespace {

// The plug-in sees the contact through plain C structures that borrow the strings.
struct PersonView {
    std::vector<TVAbPhoneValue> phones;
    TVAbPerson person{};

    explicit PersonView(const Contact& contact)
    {
        for (const ContactPhone& phone : contact.phones)
            phones.push_back({phone.identifier.c_str(), phone.types.empty() ? nullptr : phone.types.front().c_str(),
                              phone.value.c_str()});
        person = {contact.uid.c_str(), phones.data(), phones.size()};
    }
};

std::string bundleExecutable(const std::string& bundlePath)
{
    const auto plist = PropertyListSerialization::propertyListWithContentsOfFile(bundlePath + "/Contents/Info.plist");
    const PlistDictionary* info = plist ? plist->get<PlistDictionary>() : nullptr;
    if (!info) return {};
    const auto executable = info->find("CFBundleExecutable");
    const std::string* name = executable != info->end() ? executable->second.get<std::string>() : nullptr;
    return name ? *name : std::string();
}

}

std::string TVIAbPluginHost::installedBundlePath()
{
    return StandardFolders::userLibrary() + "/Address Book Plug-Ins/com.orvella.TVAbplugin.bundle";
}

std::unique_ptr<TVIAbPluginHost> TVIAbPluginHost::load(const std::string& bundlePath)
{
    const std::string executable = bundleExecutable(bundlePath);
    if (executable.empty() || executable.find('/') != std::string::npos) return nullptr;
    void* handle = dlopen((bundlePath + "/Contents/MacOS/" + executable).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        DDLogWarn("%@: Could not load the contact plug-in %@: %@", bundlePath, std::string(dlerror()));
        return nullptr;
    }
    Functions f;
    f.actionProperty = reinterpret_cast<TVAbActionPropertyFunction>(dlsym(handle, "TVAbActionProperty"));
    f.titleForPerson = reinterpret_cast<TVAbTitleForPersonFunction>(dlsym(handle, "TVAbTitleForPerson"));
    f.shouldEnableActionForPerson =
        reinterpret_cast<TVAbShouldEnableActionForPersonFunction>(dlsym(handle, "TVAbShouldEnableActionForPerson"));
    f.performActionForPerson =
        reinterpret_cast<TVAbPerformActionForPersonFunction>(dlsym(handle, "TVAbPerformActionForPerson"));
    if (!f.actionProperty || !f.titleForPerson || !f.shouldEnableActionForPerson || !f.performActionForPerson) {
        DDLogWarn("%@: The contact plug-in %@ lacks an operation", bundlePath);
        dlclose(handle);
        return nullptr;
    }
    return std::make_unique<TVIAbPluginHost>(f, handle);
}

TVIAbPluginHost::TVIAbPluginHost(Functions functions, void* handle) : functions_(functions), handle_(handle) {}

TVIAbPluginHost::~TVIAbPluginHost()
{
    if (handle_) dlclose(handle_);
}

std::optional<TVIAbPluginHost::Action> TVIAbPluginHost::actionFor(const Contact& contact,
                                                                  const std::string& phoneIdentifier) const
{
    const char* property = functions_.actionProperty();
    if (!property || std::strcmp(property, TVAB_PHONE_PROPERTY) != 0) return std::nullopt;
    PersonView view(contact);
    std::string title(256, '\0');
    const std::size_t length = functions_.titleForPerson(&view.person, phoneIdentifier.c_str(), title.data(), title.size());
    title.resize(std::min(length, title.size() - 1));
    return Action{title, functions_.shouldEnableActionForPerson(&view.person, phoneIdentifier.c_str()) != 0};
}

void TVIAbPluginHost::perform(const Contact& contact, const std::string& phoneIdentifier) const
{
    PersonView view(contact);
    functions_.performActionForPerson(&view.person, phoneIdentifier.c_str());
}

}
