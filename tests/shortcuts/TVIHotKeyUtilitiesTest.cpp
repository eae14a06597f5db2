#include "shortcuts/TVIHotKeyUtilities.h"

#include "diagnostics/DDAbstractLogger.h"
#include "diagnostics/DDLog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using tvi::TVIHotKeyUtilities;

namespace {

constexpr std::uint64_t shift = 0x20000, control = 0x40000, option = 0x80000, command = 0x100000;

// Client code -> macOS code, the way the link decodes a main key.
std::uint64_t macCodeOfClientCode(std::uint32_t clientCode)
{
    return TVIHotKeyUtilities::stringToKeycodeTranslator(TVIHotKeyUtilities::keycodeTranslator(clientCode).value());
}

std::uint64_t maskOf(std::uint32_t first, std::uint32_t second, std::uint32_t third, std::int32_t count)
{
    const auto name = [](std::uint32_t code) { return TVIHotKeyUtilities::keycodeTranslator(code).value_or(""); };
    return TVIHotKeyUtilities::createModifierFlags(name(first), name(second), name(third), count);
}

class CollectingLogger : public tvi::DDAbstractLogger {
public:
    CollectingLogger() : DDAbstractLogger("test.collector") {}
    void logMessage(const tvi::DDLogMessage& message) override
    {
        lines.push_back(std::to_string(message.logFlag()) + " " + message.logMsg());
    }
    std::vector<std::string> lines; // touched on the logger's queue, read after flushLog()
};

}

TEST(TVIHotKeyUtilitiesTest, KeyNameTableHoldsThePlatformCodes)
{
    const auto& table = TVIHotKeyUtilities::stringToOSXKeycode();
    EXPECT_EQ(table.size(), 118u); // fewer would mean a name written twice

    // Published Events.h values, irregular ones especially (digits out of order, gaps in the keypad).
    const std::vector<std::pair<const char*, int>> rows{
        {"kVK_ANSI_A", 0}, {"kVK_ANSI_B", 11}, {"kVK_ANSI_Q", 12}, {"kVK_ANSI_T", 17}, {"kVK_ANSI_O", 31},
        {"kVK_ANSI_J", 38}, {"kVK_ANSI_K", 40}, {"kVK_ANSI_N", 45}, {"kVK_ANSI_M", 46}, {"kVK_ANSI_1", 18},
        {"kVK_ANSI_6", 22}, {"kVK_ANSI_5", 23}, {"kVK_ANSI_9", 25}, {"kVK_ANSI_7", 26}, {"kVK_ANSI_8", 28},
        {"kVK_ANSI_0", 29}, {"kVK_ANSI_Equal", 24}, {"kVK_ANSI_Minus", 27}, {"kVK_ANSI_Quote", 39},
        {"kVK_ANSI_Grave", 50}, {"kVK_ANSI_Period", 47}, {"kVK_ANSI_KeypadDecimal", 65},
        {"kVK_ANSI_KeypadClear", 71}, {"kVK_ANSI_KeypadEnter", 76}, {"kVK_ANSI_KeypadEquals", 81},
        {"kVK_ANSI_Keypad0", 82}, {"kVK_ANSI_Keypad7", 89}, {"kVK_ANSI_Keypad8", 91}, {"kVK_ANSI_Keypad9", 92},
        {"kVK_Return", 36}, {"kVK_Delete", 51}, {"kVK_Escape", 53}, {"kVK_Command", 55}, {"kVK_Shift", 56},
        {"kVK_Option", 58}, {"kVK_Control", 59}, {"kVK_RightShift", 60}, {"kVK_RightControl", 62},
        {"kVK_Function", 63}, {"kVK_Mute", 74}, {"kVK_Help", 114}, {"kVK_ForwardDelete", 117},
        {"kVK_End", 119}, {"kVK_PageDown", 121}, {"kVK_UpArrow", 126}, {"kVK_ISO_Section", 10},
        {"kVK_JIS_Yen", 93}, {"kVK_JIS_KeypadComma", 95}, {"kVK_JIS_Eisu", 102}, {"kVK_JIS_Kana", 104},
    };
    for (const auto& [name, code] : rows) EXPECT_EQ(TVIHotKeyUtilities::stringToKeycodeTranslator(name), code) << name;

    const int functionKeys[] = {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107, 113, 106, 64, 79, 80, 90};
    for (int n = 1; n <= 20; ++n) {
        const std::string name = "kVK_F" + std::to_string(n);
        ASSERT_EQ(table.count(name), 1u) << name;
        EXPECT_EQ(table.at(name), functionKeys[n - 1]) << name;
        EXPECT_TRUE(TVIHotKeyUtilities::isKeyAOSXFunctionKey(functionKeys[n - 1])) << name;
    }
}

TEST(TVIHotKeyUtilitiesTest, UnknownKeyNamesFallBackToZero)
{
    for (const char* name : {"kVK_RightCommand", "kVK_F21", "kvk_f1", "kVK_F1 ", "F1", ""})
        EXPECT_EQ(TVIHotKeyUtilities::stringToKeycodeTranslator(name), 0u) << name;
}

TEST(TVIHotKeyUtilitiesTest, ClientCodeTableFollowsTheWindowsCodeRanges)
{
    const auto& table = TVIHotKeyUtilities::keycodeToOSXKeycodeString();
    EXPECT_EQ(table.size(), 114u);
    for (char c = 'A'; c <= 'Z'; ++c)
        EXPECT_EQ(TVIHotKeyUtilities::keycodeTranslator(std::uint32_t(c)), std::string("kVK_ANSI_") + c);
    for (int d = 0; d <= 9; ++d) {
        EXPECT_EQ(TVIHotKeyUtilities::keycodeTranslator(48 + d), "kVK_ANSI_" + std::to_string(d));
        EXPECT_EQ(TVIHotKeyUtilities::keycodeTranslator(96 + d), "kVK_ANSI_Keypad" + std::to_string(d));
    }
    for (int n = 1; n <= 20; ++n)
        EXPECT_EQ(TVIHotKeyUtilities::keycodeTranslator(111 + n), "kVK_F" + std::to_string(n));

    // Every name a client code yields must resolve, or a shortcut would land on the A key (code 0).
    for (const auto& [code, name] : table)
        EXPECT_EQ(TVIHotKeyUtilities::stringToOSXKeycode().count(name), 1u) << code << " " << name;
}

TEST(TVIHotKeyUtilitiesTest, IrregularClientCodesReachTheRightMacKeys)
{
    const std::vector<std::pair<std::uint32_t, int>> rows{
        {8, 51},   {9, 48},   {10, 10},  {12, 71},  {13, 36},  {20, 57},  {27, 53},  {32, 49},  {33, 116},
        {34, 121}, {35, 119}, {36, 115}, {37, 123}, {38, 126}, {39, 124}, {40, 125}, {45, 114}, {46, 117},
        {63, 63},  {91, 55},  {94, 94},  {95, 95},  {102, 88}, {104, 91}, {106, 67}, {107, 69}, {108, 76},
        {109, 78}, {110, 65}, {111, 75}, {160, 56}, {161, 60}, {162, 59}, {163, 62}, {164, 58}, {165, 61},
        {173, 74}, {174, 73}, {175, 72}, {186, 41}, {187, 24}, {188, 43}, {189, 27}, {190, 47}, {191, 44},
        {219, 33}, {220, 42}, {221, 30}, {222, 39}, {116, 96}, {131, 90},
    };
    for (const auto& [client, mac] : rows) EXPECT_EQ(macCodeOfClientCode(client), mac) << client;
}

TEST(TVIHotKeyUtilitiesTest, BackquoteKeyMapsToGraveOnly)
{
    EXPECT_EQ(TVIHotKeyUtilities::keycodeTranslator(192), "kVK_ANSI_Grave");
    EXPECT_EQ(macCodeOfClientCode(192), 50u);
    // The ISO section key keeps its own code; no code yields the names the Windows set lacks.
    for (const auto& [code, name] : TVIHotKeyUtilities::keycodeToOSXKeycodeString()) {
        if (name == "kVK_ISO_Section") {
            EXPECT_EQ(code, 10u);
        }
        if (name == "kVK_ANSI_Grave") {
            EXPECT_EQ(code, 192u);
        }
        for (const char* absent : {"kVK_JIS_Yen", "kVK_JIS_Eisu", "kVK_JIS_Kana", "kVK_ANSI_KeypadEquals"})
            EXPECT_NE(name, absent) << code;
    }
}

TEST(TVIHotKeyUtilitiesTest, CodesWithoutARowTranslateToNothing)
{
    for (std::uint32_t code : {0u, 16u, 17u, 18u, 92u, 93u, 132u, 135u, 193u, 223u, 255u, 256u, 0xFFFFFFFFu})
        EXPECT_EQ(TVIHotKeyUtilities::keycodeTranslator(code), std::nullopt) << code;
}

TEST(TVIHotKeyUtilitiesTest, ModifierTableAndAcceptedModifierNames)
{
    const TVIHotKeyUtilities::ModifierTable expected{
        {"kVK_Command", command},      {"kVK_Shift", shift},           {"kVK_Option", option},
        {"kVK_Control", control},      {"kVK_RightCommand", command},  {"kVK_RightShift", shift},
        {"kVK_RightOption", option},   {"kVK_RightControl", control},
    };
    EXPECT_EQ(TVIHotKeyUtilities::modifierFlagToMask(), expected);

    for (const char* name : {"kVK_Control", "kVK_Shift", "kVK_Option", "kVK_Command"})
        EXPECT_TRUE(TVIHotKeyUtilities::isModifier(name)) << name;
    for (const char* name : {"kVK_RightControl", "kVK_RightShift", "kVK_RightOption", "kVK_RightCommand", "kvk_shift",
                             "kVK_Shift ", "kVK_CapsLock", "kVK_Function", ""})
        EXPECT_FALSE(TVIHotKeyUtilities::isModifier(name)) << name;
}

TEST(TVIHotKeyUtilitiesTest, ModifierMaskOfCombinations)
{
    // Left Shift, Control, Alt and Windows key before F5.
    EXPECT_EQ(maskOf(160, 116, 0, 2), shift);
    EXPECT_EQ(maskOf(162, 116, 0, 2), control);
    EXPECT_EQ(maskOf(164, 116, 0, 2), option);
    EXPECT_EQ(maskOf(91, 116, 0, 2), command);
    EXPECT_EQ(maskOf(162, 160, 116, 3), 0x60000u); // Control + Shift + F5
    EXPECT_EQ(maskOf(164, 91, 116, 3), option | command);
    EXPECT_EQ(maskOf(160, 160, 116, 3), shift);
    // A modifier in one position only still counts.
    EXPECT_EQ(maskOf(65, 91, 116, 3), command);
    EXPECT_EQ(maskOf(91, 65, 116, 3), command);
}

TEST(TVIHotKeyUtilitiesTest, KeysOutsideModifierPositionsAddNothing)
{
    EXPECT_EQ(maskOf(161, 116, 0, 2), 0u); // right Shift is not accepted
    EXPECT_EQ(maskOf(163, 165, 116, 3), 0u); // nor right Control and right Alt
    EXPECT_EQ(maskOf(16, 17, 116, 3), 0u); // side-less codes have no name
    EXPECT_EQ(maskOf(160, 0, 0, 1), 0u); // a single key has no modifiers
    EXPECT_EQ(maskOf(116, 162, 0, 2), 0u); // the main key is never examined
    EXPECT_EQ(maskOf(116, 116, 162, 3), 0u);
    for (std::int32_t count : {0, 4, 5, -1, 255})
        EXPECT_EQ(maskOf(162, 160, 164, count), 0u) << count;
    EXPECT_EQ(TVIHotKeyUtilities::createModifierFlags("", "", "", 3), 0u);
}

TEST(TVIHotKeyUtilitiesTest, ClientKeyClassification)
{
    EXPECT_FALSE(TVIHotKeyUtilities::isKeyAWinFunctionKey(111));
    EXPECT_TRUE(TVIHotKeyUtilities::isKeyAWinFunctionKey(112));
    EXPECT_TRUE(TVIHotKeyUtilities::isKeyAWinFunctionKey(135));
    EXPECT_FALSE(TVIHotKeyUtilities::isKeyAWinFunctionKey(136));
    EXPECT_FALSE(TVIHotKeyUtilities::isKeyAWinFunctionKey(112 + 65536));
    EXPECT_TRUE(TVIHotKeyUtilities::isKeyAWinEscapeKey(27));
    for (std::uint32_t code : {0u, 26u, 28u, 53u, 27u + 256u})
        EXPECT_FALSE(TVIHotKeyUtilities::isKeyAWinEscapeKey(code)) << code;
    for (std::uint64_t code : {0u, 53u, 102u, 104u, 110u, 121u, 123u, 122u + 256u})
        EXPECT_FALSE(TVIHotKeyUtilities::isKeyAOSXFunctionKey(code)) << code;
}

TEST(TVIHotKeyUtilitiesTest, AcceptedModifiersAreLoggedAtInfoLevel)
{
    auto logger = std::make_shared<CollectingLogger>();
    tvi::DDLog::addLogger(logger);
    maskOf(162, 116, 0, 2);
    maskOf(160, 91, 116, 3);
    maskOf(161, 163, 116, 3); // right-hand keys are ignored silently
    tvi::DDLog::flushLog();
    tvi::DDLog::removeLogger(logger);
    EXPECT_EQ(logger->lines, (std::vector<std::string>{"4 TVIHotKeyUtilities: Modifier:kVK_Control",
                                                      "4 TVIHotKeyUtilities: First Modifier:kVK_Shift",
                                                      "4 TVIHotKeyUtilities: Second Modifier:kVK_Command"}));
}
