#include "foundation/KeyedArchiver.h"

#include "foundation/PlistNode.h"

#include <utility>
#include <vector>

namespace tvi {

namespace {

constexpr std::int64_t archiveVersion = 100000;
const char* const archiverName = "NSKeyedArchiver";
const char* const nullMarker = "$null";

// Keys beginning with "$" are the archive's own; the platform escapes an object's
// such keys with one more "$".
std::string escapedKey(const std::string& key)
{
    return !key.empty() && key[0] == '$' ? "$" + key : key;
}

bool isObjectValue(const PlistValue& value)
{
    return value.is<std::string>() || value.is<PlistData>();
}

bool isInlineValue(const PlistValue& value)
{
    return value.is<std::int64_t>() || value.is<bool>() || value.is<double>();
}

// Texts and data become objects of their own; equal ones share one object.
std::uint64_t objectIndex(PlistArray& objects, const PlistValue& value)
{
    for (std::size_t i = 1; i < objects.size(); ++i)
        if (objects[i] == value) return i;
    objects.push_back(value);
    return objects.size() - 1;
}

PlistData writeArchive(PlistArray objects, std::uint64_t root)
{
    std::vector<std::pair<std::string, PlistNode>> top;
    top.emplace_back("$version", PlistNode::fromValue(PlistValue(archiveVersion)));
    top.emplace_back("$archiver", PlistNode::fromValue(PlistValue(archiverName)));
    top.emplace_back("$top", PlistNode::fromValue(PlistValue(PlistDictionary{{"root", PlistUid{root}}})));
    top.emplace_back("$objects", PlistNode::fromValue(PlistValue(std::move(objects))));
    return PlistNode::orderedDictionary(std::move(top)).toBinary();
}

}

KeyedArchiver::KeyedArchiver(std::string className)
{
    object_.className = std::move(className);
}

void KeyedArchiver::encodeInteger(std::int64_t value, const std::string& key)
{
    object_.entries.insert_or_assign(key, PlistValue(value));
}

void KeyedArchiver::encodeBool(bool value, const std::string& key)
{
    object_.entries.insert_or_assign(key, PlistValue(value));
}

void KeyedArchiver::encodeDouble(double value, const std::string& key)
{
    object_.entries.insert_or_assign(key, PlistValue(value));
}

void KeyedArchiver::encodeString(const std::string& value, const std::string& key)
{
    object_.entries.insert_or_assign(key, PlistValue(value));
}

void KeyedArchiver::encodeData(const PlistData& value, const std::string& key)
{
    object_.entries.insert_or_assign(key, PlistValue(value));
}

PlistData KeyedArchiver::encodedData() const
{
    return archivedDataWithRootObject(object_).value_or(PlistData());
}

std::optional<PlistData> KeyedArchiver::archivedDataWithRootObject(const ArchivedObject& object)
{
    if (object.className.empty()) return std::nullopt;
    PlistArray objects{PlistValue(nullMarker), PlistValue(PlistDictionary())};
    PlistDictionary root;
    for (const auto& [key, value] : object.entries) {
        if (isInlineValue(value))
            root.insert_or_assign(escapedKey(key), value);
        else if (isObjectValue(value))
            root.insert_or_assign(escapedKey(key), PlistUid{objectIndex(objects, value)});
        else
            return std::nullopt;
    }
    // The class record follows the objects the root refers to, as the platform writes it.
    objects.push_back(PlistDictionary{{"$classname", object.className},
                                      {"$classes", PlistArray{object.className, "NSObject"}}});
    root.insert_or_assign("$class", PlistUid{objects.size() - 1});
    objects[1] = std::move(root);
    PlistData data = writeArchive(std::move(objects), 1);
    if (data.empty()) return std::nullopt;
    return data;
}

PlistData KeyedArchiver::archivedDataWithNilRoot()
{
    return writeArchive(PlistArray{PlistValue(nullMarker)}, 0);
}

}
