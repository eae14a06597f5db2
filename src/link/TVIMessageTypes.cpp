#include "link/TVIMessageTypes.h"

#include <string>

namespace tvi {
namespace {

// In protocol order of the request codes.
constexpr std::array<TVIActionCodes, 8> actionTable = {{
    {TVICallAction::MakeCall, 7, 61, "MakeCall", "Make_Call", "Make Call", "makeCallUpdated", "make-call"},
    {TVICallAction::ClearConnection, 16, 64, "ClearConnection", "Clear_Call", "Clear Connection", "clearConnectionUpdated", "clear-connection"},
    {TVICallAction::DeflectCall, 22, 67, "DeflectCall", "Deflect_Call", "Deflect Call", "deflectCallUpdated", "deflect"},
    {TVICallAction::HoldCall, 28, 70, "HoldCall", "Hold_Call", "Hold Call", "holdCallUpdated", "hold"},
    {TVICallAction::AnswerCall, 34, 73, "AnswerCall", "Answer_Call", "Answer Call", "answerCallUpdated", "answer"},
    {TVICallAction::RetrieveCall, 40, 76, "RetrieveCall", "Retrieve_Call", "Retrieve Call", "retrieveCallUpdated", "retrieve"},
    {TVICallAction::TransferCall, 46, 79, "TransferCall", "Transfer_Call", "Transfer Call", "transferCallUpdated", "transfer"},
    {TVICallAction::CancelAction, 55, 82, "CancelAction", "Cancel_Action", "Cancel Action", "cancelActionUpdated", "cancel"},
}};

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
    for (const TVIActionCodes& c : actionTable)
        if (c.peerName == peerName) return &c;
    return nullptr;
}

}
