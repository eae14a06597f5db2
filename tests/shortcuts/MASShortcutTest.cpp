#include "foundation/KeyedArchiver.h"
#include "foundation/KeyedUnarchiver.h"
#include "foundation/PropertyListSerialization.h"
#include "platform/Platform.h"
#include "platform/memory/MemoryHotKeys.h"
#include "platform/memory/MemoryKeyboardLayout.h"
#include "shortcuts/MASShortcut.h"
#include "platform/MacKeyCodes.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

constexpr std::uint64_t kShift = NSEventModifierFlagShift;
constexpr std::uint64_t kControl = NSEventModifierFlagControl;
constexpr std::uint64_t kOption = NSEventModifierFlagOption;
constexpr std::uint64_t kCommand = NSEventModifierFlagCommand;

// Every test gets its own layout and hot-key service.
class MASShortcutTest : public ::testing::Test {
protected:
    std::shared_ptr<MemoryKeyboardLayout> layout = std::make_shared<MemoryKeyboardLayout>();
    std::shared_ptr<MemoryHotKeys> hotKeys = std::make_shared<MemoryHotKeys>();
    Platform::Scoped<KeyboardLayout> scopedLayout{layout};
    Platform::Scoped<HotKeys> scopedHotKeys{hotKeys};

    void TearDown() override { MASShortcut::setAllowsAnyHotkeyWithOptionModifier(false); }
};

std::string text(std::uint64_t keyCode, std::uint64_t flags = 0)
{
    return MASShortcut(keyCode, flags).keyCodeString();
}

TEST_F(MASShortcutTest, OnlyTheFourModifierBitsSurviveConstructionAndAssignment)
{
    MASShortcut shortcut(kVK_ANSI_A, kCommand | NSEventModifierFlagCapsLock | NSEventModifierFlagFunction);
    EXPECT_EQ(shortcut.modifierFlags(), kCommand);
    EXPECT_EQ(MASShortcut::shortcutWithEvent(kVK_F5, 0xFFFFFFFF).modifierFlags(), 0x1E0000u);
    shortcut.setModifierFlags(kShift | NSEventModifierFlagNumericPad | 0x1);
    EXPECT_EQ(shortcut.modifierFlags(), kShift);
    shortcut.setKeyCode(kVK_F3);
    EXPECT_EQ(shortcut, MASShortcut::shortcutWithKeyCode(kVK_F3, kShift));
}

TEST_F(MASShortcutTest, CarbonValues)
{
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, kControl | kOption | kShift | kCommand).carbonFlags(), 0x1B00u);
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, kCommand).carbonFlags(), 0x100u);
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, kShift).carbonFlags(), 0x200u);
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, kOption).carbonFlags(), 0x800u);
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, kControl).carbonFlags(), 0x1000u);
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, 0).carbonFlags(), 0u);
    EXPECT_EQ(MASShortcut(kVK_F1, 0).carbonKeyCode(), 122u);
    EXPECT_EQ(MASShortcut(NSNotFound, 0).carbonKeyCode(), 0u);
    EXPECT_EQ(MASShortcut(0x100000007ULL, 0).carbonKeyCode(), 7u);
}

TEST_F(MASShortcutTest, KeyTextsOfFixedKeys)
{
    const std::uint16_t fKeys[]{kVK_F1,  kVK_F2,  kVK_F3,  kVK_F4,  kVK_F5,  kVK_F6,  kVK_F7,
                                kVK_F8,  kVK_F9,  kVK_F10, kVK_F11, kVK_F12, kVK_F13, kVK_F14,
                                kVK_F15, kVK_F16, kVK_F17, kVK_F18, kVK_F19};
    for (int n = 1; n <= 19; ++n)
        EXPECT_EQ(text(fKeys[n - 1]), "F" + std::to_string(n));
    EXPECT_EQ(text(kVK_F20), ""); // no fixed text; the layout types a control character
    EXPECT_EQ(text(kVK_LeftArrow), "\u2190");
    EXPECT_EQ(text(kVK_RightArrow), "\u2192");
    EXPECT_EQ(text(kVK_DownArrow), "\u2193");
    EXPECT_EQ(text(kVK_UpArrow), "\u2191");
    EXPECT_EQ(text(kVK_Return), "\u21A9");
    EXPECT_EQ(text(kVK_Escape), "\u238B");
    EXPECT_EQ(text(kVK_ForwardDelete), "\u2326");
    EXPECT_EQ(text(kVK_ANSI_KeypadMinus), "\u2013");
    EXPECT_EQ(text(kVK_ANSI_Keypad8), "8");
    EXPECT_EQ(text(kVK_Help), "?");
    EXPECT_EQ(text(kVK_Space), "Space");
    EXPECT_EQ(text(NSNotFound), "");
}

TEST_F(MASShortcutTest, KeyTextsOfOtherKeysComeFromTheLayoutInUpperCase)
{
    EXPECT_EQ(text(kVK_ANSI_A), "A");
    EXPECT_EQ(text(kVK_ANSI_1), "1");
    EXPECT_EQ(text(kVK_ANSI_LeftBracket), "[");
    layout->setCharacter(kVK_ANSI_Semicolon, "\u00F6"); // ö
    layout->setCharacter(kVK_ANSI_Minus, "\u00DF");     // ß
    layout->setCharacter(kVK_ANSI_Y, "z");
    layout->setCharacter(kVK_ANSI_Quote, "\u00B4");     // a dead accent, shown as itself
    layout->setCharacter(kVK_ANSI_Q, "\u0439");         // Cyrillic й
    EXPECT_EQ(text(kVK_ANSI_Semicolon), "\u00D6");
    EXPECT_EQ(text(kVK_ANSI_Minus), "SS");
    EXPECT_EQ(text(kVK_ANSI_Y), "Z");
    EXPECT_EQ(text(kVK_ANSI_Quote), "\u00B4");
    EXPECT_EQ(text(kVK_ANSI_Q), "\u0419");

    // Nothing printable: a failed translation, control characters, space, private use.
    layout->setCharacter(kVK_ANSI_B, std::nullopt);
    layout->setCharacter(kVK_ANSI_C, "x\x01");
    layout->setCharacter(kVK_ANSI_D, " ");
    layout->setCharacter(kVK_ANSI_E, "\uF704");
    layout->setCharacter(kVK_ANSI_F, "\xC3");
    for (std::uint16_t key : {kVK_ANSI_B, kVK_ANSI_C, kVK_ANSI_D, kVK_ANSI_E, kVK_ANSI_F, kVK_Shift})
        EXPECT_EQ(text(key), "") << key;
}

TEST_F(MASShortcutTest, KeyEquivalentTexts)
{
    EXPECT_EQ(MASShortcut(kVK_ANSI_K, kCommand).keyCodeStringForKeyEquivalent(), "k");
    EXPECT_EQ(MASShortcut(kVK_Space, kCommand).keyCodeStringForKeyEquivalent(), " ");
    EXPECT_EQ(MASShortcut(kVK_F1, 0).keyCodeStringForKeyEquivalent(), "\uF704");
    EXPECT_EQ(MASShortcut(kVK_F5, 0).keyCodeStringForKeyEquivalent(), "\uF708");
    EXPECT_EQ(MASShortcut(kVK_F19, 0).keyCodeStringForKeyEquivalent(), "\uF716");
    EXPECT_EQ(MASShortcut(kVK_UpArrow, 0).keyCodeStringForKeyEquivalent(), "\u2191");
    layout->setCharacter(kVK_ANSI_A, "ab");
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, 0).keyCodeStringForKeyEquivalent(), "");
    layout->setCharacter(kVK_ANSI_A, "\u00E4");
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, 0).keyCodeStringForKeyEquivalent(), "\u00E4"); // one character, two bytes
}

TEST_F(MASShortcutTest, ModifierGlyphsKeepTheirOrderWhateverTheBits)
{
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, kCommand | kShift).modifierFlagsString(), "\u21E7\u2318");
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, kCommand | kShift | kOption | kControl).modifierFlagsString(),
              "\u2303\u2325\u21E7\u2318");
    EXPECT_EQ(MASShortcut(kVK_ANSI_A, 0).modifierFlagsString(), "");
    EXPECT_EQ(MASShortcut(kVK_F5, kShift | kControl).description(), "\u2303\u21E7F5");
}

TEST_F(MASShortcutTest, Validity)
{
    EXPECT_TRUE(MASShortcut(kVK_F5, 0).isValid());
    EXPECT_TRUE(MASShortcut(kVK_F20, 0).isValid());
    EXPECT_TRUE(MASShortcut(kVK_F12, kOption).isValid());
    EXPECT_FALSE(MASShortcut(kVK_ANSI_A, 0).isValid());
    EXPECT_FALSE(MASShortcut(kVK_Escape, 0).isValid());
    EXPECT_TRUE(MASShortcut(kVK_ANSI_A, kShift).isValid());
    EXPECT_TRUE(MASShortcut(kVK_ANSI_A, kCommand).isValid());
    EXPECT_TRUE(MASShortcut(kVK_ANSI_A, kControl).isValid());
    EXPECT_TRUE(MASShortcut(kVK_Space, kOption).isValid());
    EXPECT_TRUE(MASShortcut(kVK_Escape, kOption).isValid());
    EXPECT_FALSE(MASShortcut(kVK_ANSI_A, kOption).isValid());
    EXPECT_TRUE(MASShortcut(kVK_ANSI_A, kOption | kShift).isValid());

    MASShortcut::setAllowsAnyHotkeyWithOptionModifier(true);
    EXPECT_TRUE(MASShortcut::allowsAnyHotkeyWithOptionModifier());
    EXPECT_TRUE(MASShortcut(kVK_ANSI_A, kOption).isValid());
    EXPECT_FALSE(MASShortcut(kVK_ANSI_A, 0).isValid());
}

TEST_F(MASShortcutTest, OnlyCommandWAndCommandQBypass)
{
    EXPECT_TRUE(MASShortcut(kVK_ANSI_W, kCommand).shouldBypass());
    EXPECT_TRUE(MASShortcut(kVK_ANSI_Q, kCommand).shouldBypass());
    EXPECT_FALSE(MASShortcut(kVK_ANSI_W, kCommand | kShift).shouldBypass());
    EXPECT_FALSE(MASShortcut(kVK_ANSI_W, kControl).shouldBypass());
    EXPECT_FALSE(MASShortcut(kVK_ANSI_E, kCommand).shouldBypass());
    // It is the key's text that counts: on a French layout W sits where Z is.
    layout->setCharacter(kVK_ANSI_Z, "w");
    EXPECT_TRUE(MASShortcut(kVK_ANSI_Z, kCommand).shouldBypass());
}

TEST_F(MASShortcutTest, ArchiveLayout)
{
    PlistData data = MASShortcut(NSNotFound, kCommand | kShift).data();
    auto plist = PropertyListSerialization::propertyListFromData(data);
    ASSERT_TRUE(plist);
    const auto* top = plist->get<PlistDictionary>();
    ASSERT_TRUE(top);
    EXPECT_EQ(top->at("$archiver"), PlistValue("NSKeyedArchiver"));
    const auto& objects = *top->at("$objects").get<PlistArray>();
    const auto& root = *objects.at(1).get<PlistDictionary>();
    EXPECT_EQ(root.at("KeyCode"), PlistValue(std::int64_t(-1)));
    EXPECT_EQ(root.at("ModifierFlags"), PlistValue(std::int64_t(0x120000)));
    EXPECT_EQ(root.size(), 3u); // the two entries and "$class"

    KeyedUnarchiver coder(MASShortcut(kVK_F5, kControl).data());
    ASSERT_TRUE(coder.rootObject());
    EXPECT_EQ(coder.className(), "MASShortcut");
    EXPECT_EQ(coder.decodeIntegerForKey("KeyCode"), 96);
    EXPECT_EQ(coder.decodeIntegerForKey("ModifierFlags"), 0x40000);
}

TEST_F(MASShortcutTest, ArchivesAreStableAndReadBack)
{
    MASShortcut shortcut(kVK_ANSI_1, kShift | kControl);
    EXPECT_EQ(shortcut.data(), MASShortcut(kVK_ANSI_1, kShift | kControl | NSEventModifierFlagCapsLock).data());
    EXPECT_NE(shortcut.data(), MASShortcut(kVK_ANSI_2, kShift | kControl).data());
    EXPECT_NE(shortcut.data(), MASShortcut(kVK_ANSI_1, kShift).data());
    EXPECT_EQ(MASShortcut::shortcutWithData(shortcut.data()), shortcut);

    auto none = MASShortcut::shortcutWithData(MASShortcut(NSNotFound, kCommand).data());
    ASSERT_TRUE(none);
    EXPECT_EQ(none->keyCode(), NSNotFound);
    EXPECT_EQ(none->keyCodeString(), "");

    // What other writers may store: a negative code other than -1, and stray modifier bits.
    KeyedArchiver foreign("MASShortcut");
    foreign.encodeInteger(-7, "KeyCode");
    foreign.encodeInteger(0xFFFFFFFF, "ModifierFlags");
    EXPECT_EQ(MASShortcut::shortcutWithData(foreign.encodedData()), MASShortcut(NSNotFound, 0x1E0000));
}

TEST_F(MASShortcutTest, WhatIsNotTheArchiveOfAShortcutReadsAsNone)
{
    EXPECT_FALSE(MASShortcut::shortcutWithData(std::nullopt));
    EXPECT_FALSE(MASShortcut::shortcutWithData(KeyedArchiver::archivedDataWithNilRoot()));
    EXPECT_FALSE(MASShortcut::shortcutWithData(PlistData{}));
    EXPECT_FALSE(MASShortcut::shortcutWithData(PlistData{'b', 'p', 'l', 'i', 's', 't', '0', '0', 0xFF}));
    PlistData truncated = MASShortcut(kVK_F1, 0).data();
    truncated.resize(truncated.size() / 2);
    EXPECT_FALSE(MASShortcut::shortcutWithData(truncated));

    KeyedArchiver otherClass("NSColor");
    otherClass.encodeInteger(1, "KeyCode");
    otherClass.encodeInteger(0, "ModifierFlags");
    EXPECT_FALSE(MASShortcut::shortcutWithData(otherClass.encodedData()));

    KeyedArchiver missingKey("MASShortcut");
    missingKey.encodeInteger(0x100000, "ModifierFlags");
    EXPECT_FALSE(MASShortcut::shortcutWithData(missingKey.encodedData())); // not the A key

    KeyedArchiver textKey("MASShortcut");
    textKey.encodeString("96", "KeyCode");
    textKey.encodeInteger(0, "ModifierFlags");
    EXPECT_FALSE(MASShortcut::shortcutWithData(textKey.encodedData()));
}

TEST_F(MASShortcutTest, SystemWideShortcutsTakeTheirCombination)
{
    hotKeys->setSymbolicHotKeys(std::vector<SymbolicHotKey>{
        {kVK_Space, cmdKey, true}, {kVK_F11, 0, false}, {kVK_ANSI_3, cmdKey | shiftKey, std::nullopt}});

    Error error;
    EXPECT_TRUE(MASShortcut(kVK_Space, kCommand).isTakenError(&error));
    EXPECT_EQ(error.domain, "NSCocoaErrorDomain");
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.localizedDescription,
              "This combination cannot be used because it is already used by a system-wide keyboard shortcut.\n"
              "If you really want to use this key combination, most shortcuts can be changed in the Keyboard & "
              "Mouse panel in System Preferences.");
    EXPECT_TRUE(MASShortcut(kVK_ANSI_3, kCommand | kShift).isTakenError(nullptr)); // no enabled value: enabled
    EXPECT_FALSE(MASShortcut(kVK_F11, 0).isTakenError(nullptr));                   // disabled
    EXPECT_FALSE(MASShortcut(kVK_Space, kCommand | kOption).isTakenError(nullptr));
    EXPECT_FALSE(MASShortcut(kVK_Space, kControl).isTakenError(nullptr));

    // Unreadable system shortcuts leave only the menu to ask.
    hotKeys->setSymbolicHotKeys(std::nullopt);
    EXPECT_FALSE(MASShortcut(kVK_Space, kCommand).isTakenError(nullptr));
}

TEST_F(MASShortcutTest, MenuItemsTakeTheirKeyEquivalents)
{
    ShortcutMenu editMenu{{{"Copy", "c", kCommand, {}}, {"Paste and Match Style", "V", kCommand | kOption, {}}}};
    ShortcutMenu mainMenu{{{"About Telvora", "", kCommand, {}},
                           {"Check", "K", kCommand, {}},
                           {"Edit", "", kCommand, editMenu},
                           {"Preferences\u2026", ",", kCommand, {}}}};

    Error error;
    EXPECT_TRUE(MASShortcut(kVK_ANSI_K, kCommand | kShift).isTakenError(&error, mainMenu));
    EXPECT_EQ(error.localizedDescription,
              "This shortcut cannot be used because it is already used by the menu item \u2018Check\u2019.");
    EXPECT_FALSE(MASShortcut(kVK_ANSI_K, kCommand).isTakenError(nullptr, mainMenu)); // K implies Shift
    EXPECT_TRUE(MASShortcut(kVK_ANSI_C, kCommand).isTakenError(&error, mainMenu));  // in a submenu
    EXPECT_EQ(error.localizedDescription,
              "This shortcut cannot be used because it is already used by the menu item \u2018Copy\u2019.");
    EXPECT_FALSE(MASShortcut(kVK_ANSI_C, kCommand | kShift).isTakenError(nullptr, mainMenu));
    EXPECT_TRUE(MASShortcut(kVK_ANSI_V, kCommand | kOption | kShift).isTakenError(nullptr, mainMenu));
    EXPECT_TRUE(MASShortcut(kVK_ANSI_Comma, kCommand).isTakenError(nullptr, mainMenu));

    // Items without a key equivalent take nothing, not even a key that has none (F20).
    error = {};
    EXPECT_FALSE(MASShortcut(kVK_F20, kCommand).isTakenError(&error, mainMenu));
    EXPECT_EQ(error.localizedDescription, "");
    EXPECT_TRUE(MASShortcut::isKeyEquivalent("\uF708", 0, ShortcutMenu{{{"Refresh", "\uF708", 0, {}}}}, nullptr));
}

}
}
