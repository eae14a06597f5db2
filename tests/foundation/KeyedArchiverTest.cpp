#include "foundation/KeyedArchiver.h"
#include "foundation/KeyedUnarchiver.h"
#include "foundation/PropertyListSerialization.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace tvi {
namespace {

// The archive as libplist itself reads it, independent of our unarchiver.
struct Parsed {
    explicit Parsed(const PlistData& data)
    {
        plist_from_bin(reinterpret_cast<const char*>(data.data()), std::uint32_t(data.size()), &root);
    }
    ~Parsed() { plist_free(root); }
    plist_t at(const char* key) const { return plist_dict_get_item(root, key); }
    plist_t root = nullptr;
};

std::vector<std::string> keysInOrder(plist_t dict)
{
    std::vector<std::string> keys;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(dict, &iter);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, iter, &key, &value);
        if (!key) break;
        keys.emplace_back(key);
        std::free(key);
    }
    std::free(iter);
    return keys;
}

std::string text(plist_t node)
{
    EXPECT_EQ(plist_get_node_type(node), PLIST_STRING);
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string result = value ? value : "";
    std::free(value);
    return result;
}

std::uint64_t uid(plist_t node)
{
    EXPECT_EQ(plist_get_node_type(node), PLIST_UID);
    std::uint64_t value = ~0ull;
    plist_get_uid_val(node, &value);
    return value;
}

std::uint64_t integer(plist_t node)
{
    EXPECT_EQ(plist_get_node_type(node), PLIST_UINT);
    std::uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return value;
}

PlistData shortcut(std::int64_t keyCode, std::int64_t modifierFlags)
{
    KeyedArchiver archiver("MASShortcut");
    archiver.encodeInteger(keyCode, "KeyCode");
    archiver.encodeInteger(modifierFlags, "ModifierFlags");
    return archiver.encodedData();
}

void expectTopLevel(const Parsed& archive, std::uint64_t rootUid, std::uint32_t objectCount)
{
    ASSERT_EQ(plist_get_node_type(archive.root), PLIST_DICT);
    EXPECT_EQ(keysInOrder(archive.root), (std::vector<std::string>{"$version", "$archiver", "$top", "$objects"}));
    EXPECT_EQ(integer(archive.at("$version")), 100000u);
    EXPECT_EQ(text(archive.at("$archiver")), "NSKeyedArchiver");
    plist_t top = archive.at("$top");
    ASSERT_EQ(plist_dict_get_size(top), 1u);
    EXPECT_EQ(uid(plist_dict_get_item(top, "root")), rootUid);
    plist_t objects = archive.at("$objects");
    ASSERT_EQ(plist_get_node_type(objects), PLIST_ARRAY);
    ASSERT_EQ(plist_array_get_size(objects), objectCount);
    EXPECT_EQ(text(plist_array_get_item(objects, 0)), "$null");
}

TEST(KeyedArchiverTest, ShortcutArchiveHasThePlatformLayout)
{
    const PlistData data = shortcut(96, 0x40000);
    ASSERT_GE(data.size(), 8u);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 8), "bplist00");
    const Parsed archive(data);
    expectTopLevel(archive, 1, 3);
    plist_t objects = archive.at("$objects");

    plist_t object = plist_array_get_item(objects, 1);
    ASSERT_EQ(plist_get_node_type(object), PLIST_DICT);
    EXPECT_EQ(plist_dict_get_size(object), 3u);
    EXPECT_EQ(integer(plist_dict_get_item(object, "KeyCode")), 96u);
    EXPECT_EQ(integer(plist_dict_get_item(object, "ModifierFlags")), 0x40000u);
    EXPECT_EQ(uid(plist_dict_get_item(object, "$class")), 2u);

    plist_t record = plist_array_get_item(objects, 2);
    ASSERT_EQ(plist_get_node_type(record), PLIST_DICT);
    EXPECT_EQ(plist_dict_get_size(record), 2u);
    EXPECT_EQ(text(plist_dict_get_item(record, "$classname")), "MASShortcut");
    plist_t classes = plist_dict_get_item(record, "$classes");
    ASSERT_EQ(plist_array_get_size(classes), 2u);
    EXPECT_EQ(text(plist_array_get_item(classes, 0)), "MASShortcut");
    EXPECT_EQ(text(plist_array_get_item(classes, 1)), "NSObject");
}

TEST(KeyedArchiverTest, NegativeIntegersAreStoredSigned)
{
    const Parsed archive(shortcut(-1, 0));
    plist_t object = plist_array_get_item(archive.at("$objects"), 1);
    EXPECT_EQ(integer(plist_dict_get_item(object, "KeyCode")), ~0ull);
    EXPECT_EQ(KeyedUnarchiver(shortcut(-1, 0)).decodeIntegerForKey("KeyCode"), -1);
}

TEST(KeyedArchiverTest, NilRootArchive)
{
    const PlistData data = KeyedArchiver::archivedDataWithNilRoot();
    const Parsed archive(data);
    expectTopLevel(archive, 0, 1);

    const KeyedUnarchiver unarchiver(data);
    EXPECT_TRUE(unarchiver.isValid());
    EXPECT_TRUE(unarchiver.rootIsNil());
    EXPECT_FALSE(unarchiver.rootObject());
}

TEST(KeyedArchiverTest, BytesDependOnlyOnTheValue)
{
    EXPECT_EQ(shortcut(96, 0x40000), shortcut(96, 0x40000));
    EXPECT_NE(shortcut(96, 0x40000), shortcut(97, 0x40000));
    EXPECT_NE(shortcut(96, 0x40000), shortcut(96, 0x60000));
    EXPECT_NE(shortcut(96, 0), KeyedArchiver::archivedDataWithNilRoot());

    KeyedArchiver reversed("MASShortcut");
    reversed.encodeInteger(0x40000, "ModifierFlags");
    reversed.encodeInteger(96, "KeyCode");
    EXPECT_EQ(reversed.encodedData(), shortcut(96, 0x40000));
    EXPECT_EQ(KeyedArchiver::archivedDataWithNilRoot(), KeyedArchiver::archivedDataWithNilRoot());
}

TEST(KeyedArchiverTest, TextsAndDataAreSharedObjectsAndRoundTrip)
{
    KeyedArchiver archiver("TVIThing");
    archiver.encodeString("hello", "first");
    archiver.encodeString("hello", "second");
    archiver.encodeData(PlistData{1, 2, 3}, "bytes");
    archiver.encodeBool(true, "flag");
    archiver.encodeDouble(2.5, "ratio");
    archiver.encodeInteger(7, "$reserved");
    const PlistData data = archiver.encodedData();

    const Parsed archive(data);
    expectTopLevel(archive, 1, 5); // $null, object, "hello", data, class record
    plist_t objects = archive.at("$objects");
    plist_t object = plist_array_get_item(objects, 1);
    const std::uint64_t first = uid(plist_dict_get_item(object, "first"));
    EXPECT_EQ(first, uid(plist_dict_get_item(object, "second")));
    EXPECT_EQ(text(plist_array_get_item(objects, std::uint32_t(first))), "hello");
    EXPECT_EQ(uid(plist_dict_get_item(object, "$class")), 4u);
    EXPECT_TRUE(plist_dict_get_item(object, "$$reserved"));

    const KeyedUnarchiver unarchiver(data);
    ASSERT_TRUE(unarchiver.rootObject());
    EXPECT_EQ(*unarchiver.rootObject(), archiver.object());
    EXPECT_EQ(unarchiver.className(), "TVIThing");
    EXPECT_EQ(unarchiver.decodeStringForKey("second"), "hello");
    EXPECT_EQ(unarchiver.decodeDataForKey("bytes"), (PlistData{1, 2, 3}));
    EXPECT_TRUE(unarchiver.decodeBoolForKey("flag"));
    EXPECT_DOUBLE_EQ(unarchiver.decodeDoubleForKey("ratio"), 2.5);
    EXPECT_EQ(unarchiver.decodeIntegerForKey("$reserved"), 7);
    EXPECT_EQ(unarchiver.decodeIntegerForKey("missing"), 0);
    EXPECT_EQ(unarchiver.decodeStringForKey("flag"), std::nullopt);
}

// A well-formed archive of the shortcut, as a value that each case below spoils in one place.
PlistDictionary wellFormed()
{
    return PlistDictionary{
        {"$version", 100000},
        {"$archiver", "NSKeyedArchiver"},
        {"$top", PlistDictionary{{"root", PlistUid{1}}}},
        {"$objects", PlistArray{"$null",
                                PlistDictionary{{"KeyCode", 5}, {"ModifierFlags", 0}, {"$class", PlistUid{2}}},
                                PlistDictionary{{"$classname", "MASShortcut"},
                                                {"$classes", PlistArray{"MASShortcut", "NSObject"}}}}},
    };
}

PlistData binary(const PlistDictionary& archive)
{
    return PropertyListSerialization::dataFromPropertyList(archive, PropertyListSerialization::Format::Binary);
}

PlistArray& objectsOf(PlistDictionary& archive)
{
    return *archive["$objects"].get<PlistArray>();
}

PlistDictionary& rootOf(PlistDictionary& archive)
{
    return *objectsOf(archive)[1].get<PlistDictionary>();
}

TEST(KeyedArchiverTest, MalformedArchivesAreRefused)
{
    const auto decoded = KeyedUnarchiver::unarchiveObjectWithData(binary(wellFormed()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->className, "MASShortcut");
    EXPECT_EQ(decoded->entries, (PlistDictionary{{"KeyCode", 5}, {"ModifierFlags", 0}}));

    std::vector<std::function<void(PlistDictionary&)>> spoilers{
        [](PlistDictionary& a) { a.erase("$archiver"); },
        [](PlistDictionary& a) { a["$archiver"] = "NSArchiver"; },
        [](PlistDictionary& a) { a.erase("$version"); },
        [](PlistDictionary& a) { a.erase("$top"); },
        [](PlistDictionary& a) { a["$top"] = PlistArray{PlistUid{1}}; },
        [](PlistDictionary& a) { a["$top"] = PlistDictionary{{"root", 1}}; },
        [](PlistDictionary& a) { a["$top"] = PlistDictionary{{"root", PlistUid{3}}}; },
        [](PlistDictionary& a) { a["$top"] = PlistDictionary{{"root", PlistUid{~0ull}}}; },
        [](PlistDictionary& a) { a.erase("$objects"); },
        [](PlistDictionary& a) { a["$objects"] = PlistArray{}; },
        [](PlistDictionary& a) { objectsOf(a)[0] = "null"; },
        [](PlistDictionary& a) { objectsOf(a)[1] = "not an object"; },
        [](PlistDictionary& a) { rootOf(a).erase("$class"); },
        [](PlistDictionary& a) { rootOf(a)["$class"] = PlistUid{9}; },
        [](PlistDictionary& a) { rootOf(a)["$class"] = PlistUid{1}; },
        [](PlistDictionary& a) { rootOf(a)["$class"] = 2; },
        [](PlistDictionary& a) { objectsOf(a)[2] = PlistDictionary{{"$classes", PlistArray{}}}; },
        [](PlistDictionary& a) { objectsOf(a)[2] = PlistDictionary{{"$classname", 3}}; },
        [](PlistDictionary& a) { rootOf(a)["KeyCode"] = PlistUid{1}; }, // a nested object
        [](PlistDictionary& a) { rootOf(a)["KeyCode"] = PlistUid{40}; },
        [](PlistDictionary& a) { rootOf(a)["KeyCode"] = PlistArray{5}; },
    };
    for (std::size_t i = 0; i < spoilers.size(); ++i) {
        PlistDictionary archive = wellFormed();
        spoilers[i](archive);
        const KeyedUnarchiver unarchiver(binary(archive));
        EXPECT_FALSE(unarchiver.isValid()) << "case " << i;
        EXPECT_FALSE(unarchiver.rootObject()) << "case " << i;
        EXPECT_EQ(unarchiver.decodeIntegerForKey("KeyCode"), 0) << "case " << i;
    }

    const PlistData good = shortcut(96, 0x40000);
    for (std::size_t cut = 0; cut < good.size(); cut += 7)
        EXPECT_FALSE(KeyedUnarchiver(PlistData(good.begin(), good.begin() + cut)).isValid()) << "cut " << cut;
    const std::string notAnArchive = "<plist><string>MASShortcut</string></plist>";
    EXPECT_FALSE(KeyedUnarchiver(PlistData(notAnArchive.begin(), notAnArchive.end())).isValid());
}

TEST(KeyedArchiverTest, ReadsTheXmlFormToo)
{
    const PlistData xml = PropertyListSerialization::dataFromPropertyList(wellFormed(),
                                                                         PropertyListSerialization::Format::XML);
    const KeyedUnarchiver unarchiver(xml);
    ASSERT_TRUE(unarchiver.isValid());
    EXPECT_EQ(unarchiver.decodeIntegerForKey("KeyCode"), 5);
}

}
}
