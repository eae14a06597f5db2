// Command processing: what Telvora does with each message Calvetto sends.
#define TVI_LOG_CLASS_NAME "TVISocket"
#include "link/TVISocket.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/Unicode.h"
#include "link/TVIMessageTypes.h"

namespace tvi {
namespace {

enum class Handling { Unknown, LogOnly, Echo, MonitoringStart, MonitoringStop, KeyCombination, Delete, IpAddress };

Handling handlingOf(std::uint8_t type)
{
    switch (type) {
    case Echo_Request: return Handling::Echo;
    case Monitoring_Start_Request: return Handling::MonitoringStart;
    case Monitoring_Stop_Request: return Handling::MonitoringStop;
    case Ip_Address_Response:
    case Ip_Address_Update: return Handling::IpAddress;
    case ClickToDial_Terminate_Request:
    case Ip_Address_Update_ACK: return Handling::LogOnly;
    default: break;
    }
    if (TVIMessageTypes::actionForRequest(type)) return Handling::KeyCombination;
    if (TVIMessageTypes::actionForDeleteRequest(type)) return Handling::Delete;
    for (TVICallAction action : allCallActions) {
        const TVIActionCodes& codes = TVIMessageTypes::codes(action);
        if (type == codes.pressedResponse() || type == codes.deleteAck()) return Handling::LogOnly;
    }
    return Handling::Unknown;
}

void logArrival(std::uint8_t type)
{
    if (type == Echo_Request || type == delete_Transfer_Call_Combination) return;
    const std::string lineFormat = "%@: " + std::string(*TVIMessageTypes::name(type)) + " arrived %hhu";
    DDLogInfo(lineFormat.c_str(), type);
}

}

void TVISocket::processCommand(const SocketPtr& connection, const Bytes& body)
{
    if (body.empty()) return; // the read cycle never hands over an empty body
    const TVISocketMessage message = TVISocketMessage::initWithData(body);
    const std::uint8_t type = message.msgType();
    const Bytes payload = message.msgPayload().value_or(Bytes{});
    const Handling handling = handlingOf(type);
    if (handling == Handling::Unknown) {
        DDLogWarn("%@: Unknown [msg msgType] %hhu", type);
        reply(connection, Unknown_Command_Response);
        return;
    }
    logArrival(type);
    switch (handling) {
    case Handling::Echo:
        reply(connection, Echo_Response);
        break;
    case Handling::MonitoringStart:
        switchAllShortcuts(true);
        reply(connection, Monitoring_Start_Response);
        break;
    case Handling::MonitoringStop:
        switchAllShortcuts(false);
        reply(connection, Monitoring_Stop_Response);
        break;
    case Handling::KeyCombination:
        reply(connection, translateMsgPayLoadToKeys(payload, type));
        break;
    case Handling::Delete:
        switchShortcutOff(type);
        reply(connection, TVIMessageTypes::actionForDeleteRequest(type)->deleteResponse());
        break;
    case Handling::IpAddress:
        setLastSavedIpString(decodeIpFromMessagePayload(payload));
        reply(connection, type == Ip_Address_Response ? Ip_Address_Response_ACK : Ip_Address_Update_Response);
        break;
    case Handling::LogOnly:
    case Handling::Unknown:
        break;
    }
}

std::optional<std::string> TVISocket::decodeIpFromMessagePayload(const Bytes& payload)
{
    std::string text(payload.begin(), payload.end());
    if (!Unicode::isValidUtf8(text)) return std::nullopt;
    return text;
}

void TVISocket::switchAllShortcuts(bool enabled)
{
    withController([enabled](TVISocketController& c) {
        for (TVICallAction action : monitoringOrder) c.setShortcutEnabled(action, enabled);
    });
}

void TVISocket::switchShortcutOff(std::uint8_t deleteRequest)
{
    const TVIActionCodes& codes = *TVIMessageTypes::actionForDeleteRequest(deleteRequest);
    const TVICallAction action = codes.action;
    if (!codes.switchedOffLater) {
        withController([action](TVISocketController& c) { c.setShortcutEnabled(action, false); });
        return;
    }
    DispatchQueue::main()->async([weak = weak_from_this(), action] {
        if (auto self = weak.lock()) self->withController([action](auto& c) { c.setShortcutEnabled(action, false); });
    });
}

void TVISocket::setLastSavedIpString(const std::optional<std::string>& address)
{
    withController([&address](TVISocketController& c) { c.setLastSavedIpString(address); });
}

}
