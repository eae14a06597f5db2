#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tvi {

// The link protocol's message types (the type byte of a message).
enum TVIMessageType : std::uint8_t {
    Echo_Request = 0,
    Echo_Response = 1,
    Monitoring_Start_Request = 2,
    Monitoring_Start_Response = 3,
    Monitoring_Stop_Request = 5,
    Monitoring_Stop_Response = 6,
    Button_Combination_MakeCall_Request = 7,
    Button_Combination_MakeCall_Accepted = 8,
    Button_Combination_MakeCall_Rejected = 9,
    Button_Combination_MakeCall_Failed = 10,
    Button_Combination_MakeCall_Pressed = 11,
    Button_Combination_MakeCall_Pressed_Response = 12,
    Unknown_Command_Response = 13,
    ClickToDial_Terminate_Request = 14,
    Button_Combination_ClearConnection_Request = 16,
    Button_Combination_ClearConnection_Pressed = 20,
    Button_Combination_DeflectCall_Request = 22,
    Button_Combination_DeflectCall_Pressed = 26,
    Button_Combination_HoldCall_Request = 28,
    Button_Combination_HoldCall_Pressed = 32,
    Button_Combination_AnswerCall_Request = 34,
    Button_Combination_AnswerCall_Pressed = 38,
    Button_Combination_RetrieveCall_Request = 40,
    Button_Combination_RetrieveCall_Pressed = 44,
    Button_Combination_TransferCall_Request = 46,
    Button_Combination_TransferCall_Pressed = 50,
    Ip_Address_Request = 52,
    Ip_Address_Response = 53,
    Ip_Address_Response_ACK = 54,
    Button_Combination_CancelAction_Request = 55,
    Button_Combination_CancelAction_Pressed = 59,
    delete_Make_Call_Combination = 61,
    delete_Make_Call_Response = 62,
    delete_Clear_Call_Combination = 64,
    delete_Deflect_Call_Combination = 67,
    delete_Hold_Call_Combination = 70,
    delete_Answer_Call_Combination = 73,
    delete_Retrieve_Call_Combination = 76,
    delete_Transfer_Call_Combination = 79,
    delete_Transfer_Call_Response = 80,
    delete_Cancel_Action_Combination = 82,
    Ip_Address_Update = 85,
    Ip_Address_Update_Response = 86,
    Ip_Address_Update_ACK = 87,
};

// The eight call-control actions, in the order the controller keeps them.
enum class TVICallAction { MakeCall, CancelAction, AnswerCall, ClearConnection, DeflectCall, HoldCall, RetrieveCall, TransferCall };
constexpr std::array<TVICallAction, 8> allCallActions = {
    TVICallAction::MakeCall,    TVICallAction::CancelAction, TVICallAction::AnswerCall,   TVICallAction::ClearConnection,
    TVICallAction::DeflectCall, TVICallAction::HoldCall,     TVICallAction::RetrieveCall, TVICallAction::TransferCall};
// The order in which monitoring start and stop switch the actions.
constexpr std::array<TVICallAction, 8> monitoringOrder = {
    TVICallAction::MakeCall,        TVICallAction::CancelAction, TVICallAction::TransferCall, TVICallAction::ClearConnection,
    TVICallAction::DeflectCall,     TVICallAction::AnswerCall,   TVICallAction::HoldCall,     TVICallAction::RetrieveCall};

// The user-defaults keys of the actions: the stored combination and its enabled flag.
inline constexpr const char* MASPrefKeyMakeCallShortcut = "TVIMakeCallShortcut";
inline constexpr const char* MASPrefKeyCancelActionShortcut = "TVICancelActionShortcut";
inline constexpr const char* MASPrefKeyAnswerCallShortcut = "TVIAnswerCallShortcut";
inline constexpr const char* MASPrefKeyClearConnectionShortcut = "TVIClearConnectionShortcut";
inline constexpr const char* MASPrefKeyDeflectCallShortcut = "TVIDeflectCallShortcut";
inline constexpr const char* MASPrefKeyHoldCallShortcut = "TVIHoldCallShortcut";
inline constexpr const char* MASPrefKeyRetrieveCallShortcut = "TVIRetrieveCallShortcut";
inline constexpr const char* MASPrefKeyTransferCallShortcut = "TVITransferCallShortcut";

inline constexpr const char* MASPrefKeyMakeCallShortcutEnabled = "TVIMakeCallShortcutEnabled";
inline constexpr const char* MASPrefKeyCancelActionShortcutEnabled = "TVICancelActionShortcutEnabled";
inline constexpr const char* MASPrefKeyAnswerCallShortcutEnabled = "TVIAnswerCallShortcutEnabled";
inline constexpr const char* MASPrefKeyClearConnectionShortcutEnabled = "TVIClearConnectionShortcutEnabled";
inline constexpr const char* MASPrefKeyDeflectCallShortcutEnabled = "TVIDeflectCallShortcutEnabled";
inline constexpr const char* MASPrefKeyHoldCallShortcutEnabled = "TVIHoldCallShortcutEnabled";
inline constexpr const char* MASPrefKeyRetrieveCallShortcutEnabled = "TVIRetrieveCallShortcutEnabled";
inline constexpr const char* MASPrefKeyTransferCallShortcutEnabled = "TVITransferCallShortcutEnabled";

// One action's row: its codes (six for its key combination, three for deleting it), its
// keys, its names and its log lines. Everything that differs between actions is here.
struct TVIActionCodes {
    TVICallAction action;
    std::uint8_t request;           // also the key identifier of the combination
    std::uint8_t deleteRequest;
    std::string_view protocolWord;  // "MakeCall" as in Button_Combination_MakeCall_Request
    std::string_view deleteWords;   // "Make_Call" as in delete_Make_Call_Combination
    std::string_view logWords;      // "Make Call" as the log lines write it
    std::string_view notification;  // "makeCallUpdated"
    std::string_view peerName;      // "make-call", the name people type into calvetto-peer
    const char* shortcutKey;        // the stored combination
    const char* enabledKey;
    std::uint64_t fallbackKeyCode;  // re-registered when the stored combination went away
    std::uint64_t fallbackModifiers;
    const char* handlerLine;        // written on every press
    const char* pressLine;          // written by the press operation
    const char* reRegisterLine;     // a combination recorded in the preferences window
    const char* enableLine;         // the enabled flag switched on or off; null: no line
    const char* disableLine;
    // A delete request switches this one off only after the current processing.
    bool switchedOffLater;

    // 1 to 8, in the controller's order.
    int number() const { return static_cast<int>(action) + 1; }
    std::uint8_t accepted() const { return request + 1; }
    std::uint8_t rejected() const { return request + 2; }
    std::uint8_t failed() const { return request + 3; }
    std::uint8_t pressed() const { return request + 4; }
    std::uint8_t pressedResponse() const { return request + 5; }
    std::uint8_t deleteResponse() const { return deleteRequest + 1; }
    std::uint8_t deleteAck() const { return deleteRequest + 2; }
};

class TVIMessageTypes {
public:
    // The protocol name of a type, or nullopt for an unassigned code.
    static std::optional<std::string_view> name(std::uint8_t type);
    // The type of a protocol name (as name() spells it), or nullopt.
    static std::optional<std::uint8_t> typeNamed(std::string_view name);
    static const TVIActionCodes& codes(TVICallAction action);
    // The action whose combination request has this code (the key identifier).
    static const TVIActionCodes* actionForRequest(std::uint8_t type);
    static const TVIActionCodes* actionForDeleteRequest(std::uint8_t type);
    static const TVIActionCodes* actionNamed(std::string_view peerName);
    static const TVIActionCodes* actionForShortcutKey(std::string_view key);
    static const TVIActionCodes* actionForEnabledKey(std::string_view key);
    // The action numbered 1 to 8, or null.
    static const TVIActionCodes* actionNumbered(int number);
};

}
