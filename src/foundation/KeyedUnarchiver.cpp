#include "foundation/KeyedUnarchiver.h"

#include "foundation/PropertyListSerialization.h"

namespace tvi {

namespace {

const PlistValue* member(const PlistDictionary& dictionary, const std::string& key)
{
    const auto it = dictionary.find(key);
    return it == dictionary.end() ? nullptr : &it->second;
}

// The object a reference points to, or nullptr when it is no reference or out of range.
const PlistValue* referenced(const PlistArray& objects, const PlistValue& value)
{
    const auto* uid = value.get<PlistUid>();
    if (!uid || uid->value >= objects.size()) return nullptr;
    return &objects[uid->value];
}

std::optional<std::string> classNameOf(const PlistArray& objects, const PlistDictionary& object)
{
    const PlistValue* reference = member(object, "$class");
    const PlistValue* record = reference ? referenced(objects, *reference) : nullptr;
    const auto* fields = record ? record->get<PlistDictionary>() : nullptr;
    const PlistValue* name = fields ? member(*fields, "$classname") : nullptr;
    if (!name || !name->is<std::string>() || name->get<std::string>()->empty()) return std::nullopt;
    const PlistValue* classes = member(*fields, "$classes");
    if (classes && !classes->is<PlistArray>()) return std::nullopt;
    return *name->get<std::string>();
}

// One entry of the root object: inline numbers and booleans, referenced texts and data.
// False for anything else (nested objects are not read).
bool decodeEntry(const PlistArray& objects, const PlistValue& stored, PlistValue& out)
{
    if (stored.is<std::int64_t>() || stored.is<bool>() || stored.is<double>()) {
        out = stored;
        return true;
    }
    const PlistValue* target = referenced(objects, stored);
    if (!target) return false;
    if (stored.get<PlistUid>()->value == 0) { // a nil entry: present but empty
        out = PlistValue();
        return true;
    }
    if (!target->is<std::string>() && !target->is<PlistData>()) return false;
    out = *target;
    return true;
}

std::optional<ArchivedObject> decodeObject(const PlistArray& objects, const PlistDictionary& object)
{
    ArchivedObject result;
    auto name = classNameOf(objects, object);
    if (!name) return std::nullopt;
    result.className = std::move(*name);
    for (const auto& [key, stored] : object) {
        if (!key.empty() && key[0] == '$' && key.rfind("$$", 0) != 0) continue; // the archive's own keys
        PlistValue value;
        if (!decodeEntry(objects, stored, value)) return std::nullopt;
        if (value.isAbsent()) continue;
        result.entries.insert_or_assign(key.rfind("$$", 0) == 0 ? key.substr(1) : key, std::move(value));
    }
    return result;
}

bool hasArchiveHeader(const PlistDictionary& top)
{
    const PlistValue* archiver = member(top, "$archiver");
    const PlistValue* version = member(top, "$version");
    return archiver && archiver->is<std::string>() && *archiver->get<std::string>() == "NSKeyedArchiver" && version &&
           version->is<std::int64_t>();
}

}

KeyedUnarchiver::KeyedUnarchiver(const PlistData& data)
{
    const auto plist = PropertyListSerialization::propertyListFromData(data);
    const auto* top = plist ? plist->get<PlistDictionary>() : nullptr;
    if (!top || !hasArchiveHeader(*top)) return;
    const PlistValue* objectsValue = member(*top, "$objects");
    const PlistValue* topValue = member(*top, "$top");
    const auto* objects = objectsValue ? objectsValue->get<PlistArray>() : nullptr;
    const auto* roots = topValue ? topValue->get<PlistDictionary>() : nullptr;
    if (!objects || !roots || objects->empty() || (*objects)[0] != PlistValue("$null")) return;
    const PlistValue* rootReference = member(*roots, "root");
    const PlistValue* root = rootReference ? referenced(*objects, *rootReference) : nullptr;
    if (!root) return;
    if (rootReference->get<PlistUid>()->value == 0) {
        valid_ = true;
        return;
    }
    const auto* rootObject = root->get<PlistDictionary>();
    if (!rootObject) return;
    root_ = decodeObject(*objects, *rootObject);
    valid_ = root_.has_value();
}

const std::string& KeyedUnarchiver::className() const
{
    static const std::string none;
    return root_ ? root_->className : none;
}

const PlistValue* KeyedUnarchiver::entry(const std::string& key) const
{
    return root_ ? member(root_->entries, key) : nullptr;
}

bool KeyedUnarchiver::containsValueForKey(const std::string& key) const
{
    return entry(key) != nullptr;
}

std::int64_t KeyedUnarchiver::decodeIntegerForKey(const std::string& key) const
{
    const PlistValue* value = entry(key);
    if (!value || !(value->is<std::int64_t>() || value->is<bool>() || value->is<double>())) return 0;
    return value->integerValue();
}

bool KeyedUnarchiver::decodeBoolForKey(const std::string& key) const
{
    const PlistValue* value = entry(key);
    if (!value || !(value->is<std::int64_t>() || value->is<bool>() || value->is<double>())) return false;
    return value->boolValue();
}

double KeyedUnarchiver::decodeDoubleForKey(const std::string& key) const
{
    const PlistValue* value = entry(key);
    if (!value || !(value->is<std::int64_t>() || value->is<bool>() || value->is<double>())) return 0.0;
    return value->doubleValue();
}

std::optional<std::string> KeyedUnarchiver::decodeStringForKey(const std::string& key) const
{
    const PlistValue* value = entry(key);
    if (!value || !value->is<std::string>()) return std::nullopt;
    return *value->get<std::string>();
}

std::optional<PlistData> KeyedUnarchiver::decodeDataForKey(const std::string& key) const
{
    const PlistValue* value = entry(key);
    if (!value || !value->is<PlistData>()) return std::nullopt;
    return *value->get<PlistData>();
}

std::optional<ArchivedObject> KeyedUnarchiver::unarchiveObjectWithData(const PlistData& data)
{
    return KeyedUnarchiver(data).rootObject();
}

}
