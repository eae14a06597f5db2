#include "foundation/PlistNode.h"

#include "foundation/Unicode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tvi {

namespace {

using Micros = std::chrono::microseconds;
// Seconds from the Unix epoch to the property-list epoch, 2001-01-01 00:00:00 UTC.
constexpr std::int64_t referenceEpochSeconds = 978307200;
constexpr std::int64_t microsPerSecond = 1000000;

// libplist takes C strings: a NUL would cut the text short.
bool isValidUtf8(const std::string& text)
{
    return text.find('\0') == std::string::npos && Unicode::isValidUtf8(text);
}

// Text as read: a file written elsewhere may hold broken UTF-8 or a NUL, which the
// writer refuses. Such characters become U+FFFD, so that one bad entry in a stored file
// cannot stop every later write of it.
std::string readableText(const char* text, std::size_t length)
{
    std::string readable = Unicode::sanitizeUtf8(std::string_view(text, length));
    for (std::size_t nul; (nul = readable.find('\0')) != std::string::npos;)
        readable.replace(nul, 1, "\xEF\xBF\xBD");
    return readable;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Microseconds since 2001 split as libplist takes them: whole seconds (floored) and a
// non-negative fraction.
std::pair<std::int64_t, std::int64_t> splitMicros(std::int64_t micros)
{
    const std::int64_t seconds = floorDiv(micros, microsPerSecond);
    return {seconds, micros - seconds * microsPerSecond};
}

PlistNode dateNode(const PlistDate& date)
{
    const auto micros = std::chrono::floor<Micros>(date.time_since_epoch()).count() - referenceEpochSeconds * microsPerSecond;
    const auto [seconds, fraction] = splitMicros(micros);
    if (seconds < std::numeric_limits<std::int32_t>::min() || seconds > std::numeric_limits<std::int32_t>::max())
        return {};
    return PlistNode(plist_new_date(std::int32_t(seconds), std::int32_t(fraction)));
}

bool dateNodeEquals(plist_t node, std::int64_t micros)
{
    const auto [seconds, fraction] = splitMicros(micros);
    if (seconds < std::numeric_limits<std::int32_t>::min() || seconds > std::numeric_limits<std::int32_t>::max())
        return false;
    // Compares the stored seconds exactly (plist_date_val_compare would use the lossy split).
    const PlistNode candidate(plist_new_date(std::int32_t(seconds), std::int32_t(fraction)));
    return plist_compare_node_value(node, candidate.get()) != 0;
}

// libplist hands a date back as truncated seconds and the magnitude of the fraction,
// one microsecond short at times, so -0.5 and +0.5 look alike. Find the reading whose
// node equals this one; a date written elsewhere falls back to the plain reading.
PlistDate dateValue(plist_t node)
{
    std::int32_t seconds = 0;
    std::int32_t fraction = 0;
    plist_get_date_val(node, &seconds, &fraction);
    const std::int64_t whole = std::int64_t(seconds) * microsPerSecond;
    const std::int64_t positive = whole + fraction;
    const std::int64_t negative = whole - fraction;
    const std::int64_t candidates[] = {positive, positive + 1, negative, negative - 1};
    std::int64_t micros = seconds < 0 ? negative : positive;
    for (std::int64_t candidate : candidates) {
        if (dateNodeEquals(node, candidate)) {
            micros = candidate;
            break;
        }
    }
    // A date from elsewhere may lie beyond what can be written back (libplist wraps such
    // seconds): the nearest writable date keeps the file writable.
    constexpr std::int64_t earliest = std::int64_t(std::numeric_limits<std::int32_t>::min()) * microsPerSecond;
    constexpr std::int64_t latest = (std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) * microsPerSecond - 1;
    micros = std::clamp(micros, earliest, latest);
    return PlistDate(std::chrono::duration_cast<PlistDate::duration>(
        Micros(micros + referenceEpochSeconds * microsPerSecond)));
}

PlistNode dictionaryNode(const PlistDictionary& dictionary)
{
    PlistNode node(plist_new_dict());
    for (const auto& [key, value] : dictionary) {
        if (!isValidUtf8(key)) return {};
        PlistNode child = PlistNode::fromValue(value);
        if (!child) return {};
        plist_dict_set_item(node.get(), key.c_str(), child.release());
    }
    return node;
}

PlistNode arrayNode(const PlistArray& array)
{
    PlistNode node(plist_new_array());
    for (const auto& value : array) {
        PlistNode child = PlistNode::fromValue(value);
        if (!child) return {};
        plist_array_append_item(node.get(), child.release());
    }
    return node;
}

std::optional<PlistValue> dictionaryValue(plist_t node)
{
    PlistDictionary dictionary;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    if (!iter) return std::nullopt;
    bool ok = true;
    for (;;) {
        char* key = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(node, iter, &key, &child);
        if (!key) break;
        std::string name = readableText(key, std::strlen(key));
        std::free(key);
        auto value = child ? PlistNode::toValue(child) : std::nullopt;
        if (!value) {
            ok = false;
            break;
        }
        dictionary.insert_or_assign(std::move(name), std::move(*value));
    }
    std::free(iter);
    if (!ok) return std::nullopt;
    // The XML form of a keyed-archive reference is a one-entry dictionary {"CF$UID": n}.
    if (dictionary.size() == 1) {
        const auto it = dictionary.find("CF$UID");
        if (it != dictionary.end() && it->second.is<std::int64_t>())
            return PlistValue(PlistUid{std::uint64_t(*it->second.get<std::int64_t>())});
    }
    return PlistValue(std::move(dictionary));
}

std::optional<PlistValue> arrayValue(plist_t node)
{
    PlistArray array;
    const std::uint32_t count = plist_array_get_size(node);
    array.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        plist_t child = plist_array_get_item(node, i);
        auto value = child ? PlistNode::toValue(child) : std::nullopt;
        if (!value) return std::nullopt;
        array.push_back(std::move(*value));
    }
    return PlistValue(std::move(array));
}

std::uint64_t bigEndian(const PlistData& data, std::size_t at, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t k = 0; k < width; ++k) value = (value << 8) | data[at + k];
    return value;
}

// The objects of a binary property list, as far as needed to find its dictionary keys.
class BinaryObjects {
public:
    explicit BinaryObjects(const PlistData& data) : data_(data)
    {
        if (data.size() < kHeader + kTrailer || std::memcmp(data.data(), "bplist00", kHeader) != 0) return;
        trailer_ = data.size() - kTrailer;
        offsetSize_ = data[trailer_ + 6];
        refSize_ = data[trailer_ + 7];
        count_ = bigEndian(data, trailer_ + 8, 8);
        table_ = bigEndian(data, trailer_ + 24, 8);
        valid_ = offsetSize_ >= 1 && offsetSize_ <= 8 && refSize_ >= 1 && refSize_ <= 8 && table_ <= data.size() &&
                 count_ <= (data.size() - table_) / offsetSize_;
    }

    // True when a dictionary key holds a NUL character. libplist aborts on such a key (it
    // asserts that a key is as long as its C string), so these files must not reach it.
    bool keyHoldsNul() const
    {
        for (std::uint64_t i = 0; valid_ && i < count_; ++i) {
            std::uint64_t entries = 0;
            std::uint64_t start = 0;
            if (!contents(i, 0xD, entries, start) || entries > (data_.size() - start) / refSize_) continue;
            for (std::uint64_t k = 0; k < entries; ++k)
                if (stringHoldsNul(bigEndian(data_, std::size_t(start + k * refSize_), refSize_))) return true;
        }
        return false;
    }

private:
    static constexpr std::size_t kHeader = 8;
    static constexpr std::size_t kTrailer = 32;

    // The length and first content byte of object `index` when its type is `type`.
    bool contents(std::uint64_t index, std::uint8_t type, std::uint64_t& length, std::uint64_t& start) const
    {
        if (index >= count_) return false;
        const std::uint64_t at = bigEndian(data_, std::size_t(table_ + index * offsetSize_), offsetSize_);
        // libplist takes any offset inside the data, the header's bytes included.
        if (at >= data_.size() || (data_[at] >> 4) != type) return false;
        length = data_[at] & 0x0F;
        start = at + 1;
        if (length != 0x0F) return true;
        // The length follows as an integer object.
        if (start >= data_.size() || (data_[start] >> 4) != 0x1) return false;
        const std::size_t width = std::size_t(1) << (data_[start] & 0x0F);
        if (width > 8 || start + 1 + width > data_.size()) return false;
        length = bigEndian(data_, std::size_t(start + 1), width);
        start += 1 + width;
        return true;
    }

    bool stringHoldsNul(std::uint64_t index) const
    {
        std::uint64_t length = 0;
        std::uint64_t start = 0;
        const bool wide = contents(index, 0x6, length, start);
        if (!wide && !contents(index, 0x5, length, start) && !contents(index, 0x7, length, start)) return false;
        const std::uint64_t unit = wide ? 2 : 1;
        if (start > data_.size() || length > (data_.size() - start) / unit) return false;
        for (std::uint64_t k = 0; k < length; ++k) {
            const std::size_t c = std::size_t(start + k * unit);
            if (data_[c] == 0 && (!wide || data_[c + 1] == 0)) return true;
        }
        return false;
    }

    const PlistData& data_;
    bool valid_ = false;
    std::size_t trailer_ = 0;
    std::size_t offsetSize_ = 0;
    std::size_t refSize_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t table_ = 0;
};

PlistData exported(plist_t node, void (*write)(plist_t, char**, std::uint32_t*), void (*release)(char*))
{
    if (!node) return {};
    char* buffer = nullptr; // libplist writes nothing unless this starts out null
    std::uint32_t length = 0;
    write(node, &buffer, &length);
    if (!buffer) return {};
    PlistData data(buffer, buffer + length);
    release(buffer);
    return data;
}

}

PlistNode& PlistNode::operator=(PlistNode&& other) noexcept
{
    if (this != &other) {
        if (node_) plist_free(node_);
        node_ = std::exchange(other.node_, nullptr);
    }
    return *this;
}

PlistNode::~PlistNode()
{
    if (node_) plist_free(node_);
}

PlistNode PlistNode::fromValue(const PlistValue& value)
{
    const auto& storage = value.storage();
    if (const auto* d = std::get_if<PlistDictionary>(&storage)) return dictionaryNode(*d);
    if (const auto* a = std::get_if<PlistArray>(&storage)) return arrayNode(*a);
    if (const auto* s = std::get_if<std::string>(&storage))
        return isValidUtf8(*s) ? PlistNode(plist_new_string(s->c_str())) : PlistNode();
    if (const auto* i = std::get_if<std::int64_t>(&storage)) return PlistNode(plist_new_uint(std::uint64_t(*i)));
    if (const auto* r = std::get_if<double>(&storage)) return PlistNode(plist_new_real(*r));
    if (const auto* b = std::get_if<bool>(&storage)) return PlistNode(plist_new_bool(*b ? 1 : 0));
    if (const auto* t = std::get_if<PlistDate>(&storage)) return dateNode(*t);
    if (const auto* bytes = std::get_if<PlistData>(&storage))
        return PlistNode(plist_new_data(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (const auto* uid = std::get_if<PlistUid>(&storage)) return PlistNode(plist_new_uid(uid->value));
    return {};
}

PlistNode PlistNode::orderedDictionary(std::vector<std::pair<std::string, PlistNode>> entries)
{
    PlistNode node(plist_new_dict());
    for (auto& [key, child] : entries) {
        if (!child) return {};
        plist_dict_set_item(node.get(), key.c_str(), child.release());
    }
    return node;
}

std::optional<PlistValue> PlistNode::toValue(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_DICT:
        return dictionaryValue(node);
    case PLIST_ARRAY:
        return arrayValue(node);
    case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return text ? PlistValue(readableText(text, length)) : PlistValue(std::string());
    }
    case PLIST_UINT: {
        std::uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return PlistValue(std::int64_t(v));
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return PlistValue(v);
    }
    case PLIST_BOOLEAN: {
        std::uint8_t v = 0;
        plist_get_bool_val(node, &v);
        return PlistValue(v != 0);
    }
    case PLIST_DATE:
        return PlistValue(dateValue(node));
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        return bytes ? PlistValue(PlistData(bytes, bytes + length)) : PlistValue(PlistData());
    }
    case PLIST_UID: {
        std::uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return PlistValue(PlistUid{v});
    }
    default:
        return std::nullopt;
    }
}

PlistNode PlistNode::parse(const PlistData& data)
{
    if (data.empty() || data.size() > std::numeric_limits<std::uint32_t>::max()) return {};
    if (BinaryObjects(data).keyHoldsNul()) return {};
    plist_t node = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(data.data()), std::uint32_t(data.size()), &node);
    return PlistNode(node);
}

PlistData PlistNode::toBinary() const
{
    return exported(node_, plist_to_bin, plist_to_bin_free);
}

PlistData PlistNode::toXml() const
{
    return exported(node_, plist_to_xml, plist_to_xml_free);
}

}
