#include "link/TVIMessageTypes.h"

#include <string>

namespace tvi {
namespace {

constexpr std::uint64_t kShiftControl = 0x60000;

// In protocol order of the request codes.
constexpr std::array<TVIActionCodes, 8> actionTable = {{
    {TVICallAction::MakeCall, 7, 61, "MakeCall", "Make_Call", "Make Call", "makeCallUpdated", "make-call",
     MASPrefKeyMakeCallShortcut, MASPrefKeyMakeCallShortcutEnabled, 18, kShiftControl, "%@: => MakeCallHandler",
     "%@: => makeCall Handler", "%@: => userDefaultsDidChange -> reRegister makeCall",
     "%@: => observeValueForKeyPath enable make call shortcut",
     "%@: => observeValueForKeyPath disable make call shortcut", false},
    {TVICallAction::ClearConnection, 16, 64, "ClearConnection", "Clear_Call", "Clear Connection", "clearConnectionUpdated",
     "clear-connection", MASPrefKeyClearConnectionShortcut, MASPrefKeyClearConnectionShortcutEnabled, 21, kShiftControl,
     "%@: => ClearConnectionHandler", "%@: => start clearConnection",
     "%@: => userDefaultsDidChange -> reRegister clearConnection",
     "%@: => observeValueForKeyPath enable clear connection shortcut",
     "%@: => observeValueForKeyPath disable clear connection shortcut", false},
    {TVICallAction::DeflectCall, 22, 67, "DeflectCall", "Deflect_Call", "Deflect Call", "deflectCallUpdated", "deflect",
     MASPrefKeyDeflectCallShortcut, MASPrefKeyDeflectCallShortcutEnabled, 23, kShiftControl, "%@: => DeflectCallHandler",
     "%@: => start deflectCall", "%@: => userDefaultsDidChange -> reRegister deflectCall",
     "%@: => observeValueForKeyPath enable deflect call shortcut",
     "%@: => observeValueForKeyPath disable deflect call shortcut", false},
    {TVICallAction::HoldCall, 28, 70, "HoldCall", "Hold_Call", "Hold Call", "holdCallUpdated", "hold",
     MASPrefKeyHoldCallShortcut, MASPrefKeyHoldCallShortcutEnabled, 22, kShiftControl, "%@: => HoldCallHandler",
     "%@: => start holdCall", "%@: => userDefaultsDidChange -> reRegister holdCall",
     "%@:  observeValueForKeyPath enable hold call shortcut", "%@: => observeValueForKeyPath disable hold call shortcut",
     true},
    {TVICallAction::AnswerCall, 34, 73, "AnswerCall", "Answer_Call", "Answer Call", "answerCallUpdated", "answer",
     MASPrefKeyAnswerCallShortcut, MASPrefKeyAnswerCallShortcutEnabled, 20, kShiftControl, "%@: => AnswerCallHandler",
     "%@: => start answerCall", "%@: => userDefaultsDidChange -> reRegister answerCall", nullptr, nullptr, false},
    {TVICallAction::RetrieveCall, 40, 76, "RetrieveCall", "Retrieve_Call", "Retrieve Call", "retrieveCallUpdated",
     "retrieve", MASPrefKeyRetrieveCallShortcut, MASPrefKeyRetrieveCallShortcutEnabled, 26, kShiftControl,
     "%@: => RetrieveCallHandler", "%@: => start retrieveCall", "%@: => userDefaultsDidChange -> reRegister retrieveCall",
     "%@: =>observeValueForKeyPath  enable retrieve call shortcut",
     "%@: => observeValueForKeyPath disable retrieve call shortcut", false},
    {TVICallAction::TransferCall, 46, 79, "TransferCall", "Transfer_Call", "Transfer Call", "transferCallUpdated",
     "transfer", MASPrefKeyTransferCallShortcut, MASPrefKeyTransferCallShortcutEnabled, 28, kShiftControl,
     "%@: => TransferCallHandler", "%@: => start transferCall", "%@: => userDefaultsDidChange -> reRegister transferCall",
     "%@: => observeValueForKeyPath enable transfer call shortcut",
     "%@: => observeValueForKeyPath disable transfer call shortcut", false},
    {TVICallAction::CancelAction, 55, 82, "CancelAction", "Cancel_Action", "Cancel Action", "cancelActionUpdated",
     "cancel", MASPrefKeyCancelActionShortcut, MASPrefKeyCancelActionShortcutEnabled, 53, 0,
     "%@: => CancelActionHandler", "%@: => start cancelAction", "%@: => userDefaultsDidChange -> reRegister cancelAction",
     "%@: => observeValueForKeyPath enable cancel shortcut",
     "%@: => observeValueForKeyPath disable cancel action shortcut", false},
}};

const TVIActionCodes* findAction(bool (*matches)(const TVIActionCodes&, std::string_view), std::string_view wanted)
{
    for (const TVIActionCodes& c : actionTable)
        if (matches(c, wanted)) return &c;
    return nullptr;
}

struct NameTable {
    std::array<std::string, 256> names;

    NameTable()
    {
        names[Echo_Request] = "Echo_Request";
        names[Echo_Response] = "Echo_Response";
        names[Monitoring_Start_Request] = "Monitoring_Start_Request";
        names[Monitoring_Start_Response] = "Monitoring_Start_Response";
        names[Monitoring_Stop_Request] = "Monitoring_Stop_Request";
        names[Monitoring_Stop_Response] = "Monitoring_Stop_Response";
        names[Unknown_Command_Response] = "Unknown_Command_Response";
        names[ClickToDial_Terminate_Request] = "ClickToDial_Terminate_Request";
        names[Ip_Address_Request] = "Ip_Address_Request";
        names[Ip_Address_Response] = "Ip_Address_Response";
        names[Ip_Address_Response_ACK] = "Ip_Address_Response_ACK";
        names[Ip_Address_Update] = "Ip_Address_Update";
        names[Ip_Address_Update_Response] = "Ip_Address_Update_Response";
        names[Ip_Address_Update_ACK] = "Ip_Address_Update_ACK";
        static constexpr const char* kinds[] = {"_Request", "_Accepted", "_Rejected", "_Failed", "_Pressed", "_Pressed_Response"};
        static constexpr const char* deleteKinds[] = {"_Combination", "_Response", "_ACK"};
        for (const TVIActionCodes& codes : actionTable) {
            for (int i = 0; i < 6; ++i)
                names[codes.request + i] = "Button_Combination_" + std::string(codes.protocolWord) + kinds[i];
            for (int i = 0; i < 3; ++i)
                names[codes.deleteRequest + i] = "delete_" + std::string(codes.deleteWords) + deleteKinds[i];
        }
    }
};

const NameTable& nameTable()
{
    static const NameTable table;
    return table;
}

}

std::optional<std::string_view> TVIMessageTypes::name(std::uint8_t type)
{
    const std::string& n = nameTable().names[type];
    if (n.empty()) return std::nullopt;
    return std::string_view(n);
}

std::optional<std::uint8_t> TVIMessageTypes::typeNamed(std::string_view name)
{
    const auto& names = nameTable().names;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!names[i].empty() && names[i] == name) return static_cast<std::uint8_t>(i);
    return std::nullopt;
}

const TVIActionCodes& TVIMessageTypes::codes(TVICallAction action)
{
    for (const TVIActionCodes& c : actionTable)
        if (c.action == action) return c;
    return actionTable.front(); // unreachable: every action has a row
}

const TVIActionCodes* TVIMessageTypes::actionForRequest(std::uint8_t type)
{
    for (const TVIActionCodes& c : actionTable)
        if (c.request == type) return &c;
    return nullptr;
}

const TVIActionCodes* TVIMessageTypes::actionForDeleteRequest(std::uint8_t type)
{
    for (const TVIActionCodes& c : actionTable)
        if (c.deleteRequest == type) return &c;
    return nullptr;
}

const TVIActionCodes* TVIMessageTypes::actionNamed(std::string_view peerName)
{
    return findAction([](const TVIActionCodes& c, std::string_view n) { return c.peerName == n; }, peerName);
}

const TVIActionCodes* TVIMessageTypes::actionForShortcutKey(std::string_view key)
{
    return findAction([](const TVIActionCodes& c, std::string_view k) { return k == c.shortcutKey; }, key);
}

const TVIActionCodes* TVIMessageTypes::actionForEnabledKey(std::string_view key)
{
    return findAction([](const TVIActionCodes& c, std::string_view k) { return k == c.enabledKey; }, key);
}

const TVIActionCodes* TVIMessageTypes::actionNumbered(int number)
{
    if (number < 1 || number > static_cast<int>(allCallActions.size())) return nullptr;
    return &codes(allCallActions[static_cast<std::size_t>(number - 1)]);
}

}
