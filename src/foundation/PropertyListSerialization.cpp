#include "foundation/PropertyListSerialization.h"

#include "foundation/PlistNode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace tvi {

namespace {

bool writeAll(int fd, const PlistData& data)
{
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += std::size_t(n);
    }
    return true;
}

}

std::optional<PlistValue> PropertyListSerialization::propertyListFromData(const PlistData& data)
{
    const PlistNode node = PlistNode::parse(data);
    if (!node) return std::nullopt;
    return PlistNode::toValue(node.get());
}

PlistData PropertyListSerialization::dataFromPropertyList(const PlistValue& value, Format format)
{
    const PlistNode node = PlistNode::fromValue(value);
    if (!node) return {};
    return format == Format::Binary ? node.toBinary() : node.toXml();
}

bool PropertyListSerialization::isValidPropertyList(const PlistValue& value)
{
    return static_cast<bool>(PlistNode::fromValue(value));
}

std::optional<PlistValue> PropertyListSerialization::propertyListWithContentsOfFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    PlistData data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return propertyListFromData(data);
}

bool PropertyListSerialization::writePropertyListToFile(const PlistValue& value, const std::string& path, Format format)
{
    const PlistData data = dataFromPropertyList(value, format);
    return !data.empty() && writeDataAtomically(data, path);
}

bool PropertyListSerialization::writeDataAtomically(const PlistData& data, const std::string& path)
{
    std::string temporary = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}
