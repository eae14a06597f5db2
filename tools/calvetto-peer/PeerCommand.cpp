#include "PeerCommand.h"

#include "link/TVIMessageTypes.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace tvi::peer {
namespace {

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

Bytes encode(std::uint8_t type, const Bytes& payload = {})
{
    TVISocketMessage message;
    message.setMsgType(type);
    message.setMsgPayload(payload);
    return message.convertToNSData();
}

std::optional<unsigned> number(const std::string& text)
{
    if (text.empty() || text.size() > 7 || !std::all_of(text.begin(), text.end(), ::isdigit)) return std::nullopt;
    return static_cast<unsigned>(std::stoul(text));
}

}

std::optional<unsigned> clientKeyCode(const std::string& rawName)
{
    static const std::map<std::string, unsigned> named = {
        {"CTRL", 162},   {"LCTRL", 162}, {"RCTRL", 163},  {"CONTROL", 162}, {"SHIFT", 160}, {"LSHIFT", 160},
        {"RSHIFT", 161}, {"ALT", 164},   {"LALT", 164},   {"RALT", 165},    {"WIN", 91},    {"LWIN", 91},
        {"RWIN", 92},    {"ESC", 27},    {"ESCAPE", 27},  {"SPACE", 32},    {"TAB", 9},     {"ENTER", 13},
        {"RETURN", 13},  {"BACKSPACE", 8}, {"DELETE", 46}, {"INSERT", 45},  {"HOME", 36},   {"END", 35},
        {"PAGEUP", 33},  {"PAGEDOWN", 34}, {"LEFT", 37},   {"UP", 38},      {"RIGHT", 39},  {"DOWN", 40},
    };
    const std::string name = upper(rawName);
    if (auto it = named.find(name); it != named.end()) return it->second;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) return static_cast<unsigned>(name[0]);
    if (name.size() >= 2 && name[0] == 'F') {
        if (auto n = number(name.substr(1)); n && *n >= 1 && *n <= 24) return 111 + *n;
    }
    if (name.size() >= 3 && name.rfind("VK", 0) == 0) return number(name.substr(2));
    return std::nullopt;
}

std::optional<Bytes> combinationPayload(const std::string& combination)
{
    const auto keys = split(combination, '+');
    if (keys.size() > 255) return std::nullopt;
    Bytes payload{static_cast<std::uint8_t>(keys.size())};
    for (const std::string& key : keys) {
        auto code = clientKeyCode(key);
        if (!code || *code > 25599) return std::nullopt;
        payload.push_back(static_cast<std::uint8_t>(*code / 100));
        payload.push_back(static_cast<std::uint8_t>(*code % 100));
    }
    return payload;
}

std::optional<Bytes> parseHex(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)) && c != ':') digits += c;
    if (digits.size() % 2 != 0) return std::nullopt;
    Bytes bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(digits[i])) || !std::isxdigit(static_cast<unsigned char>(digits[i + 1])))
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string toHex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::optional<PeerCommand> parsePeerCommand(const std::string& word, std::string* error)
{
    const auto eq = word.find('=');
    const std::string verb = word.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
    auto fail = [&](const std::string& why) -> std::optional<PeerCommand> {
        if (error) *error = word + ": " + why;
        return std::nullopt;
    };
    PeerCommand command;
    if (verb == "start") command.bytes = encode(Monitoring_Start_Request);
    else if (verb == "stop") command.bytes = encode(Monitoring_Stop_Request);
    else if (verb == "echo") command.bytes = encode(Echo_Request);
    else if (verb == "terminate") command.bytes = encode(ClickToDial_Terminate_Request);
    else if (verb == "ip-update") command.bytes = encode(Ip_Address_Update, Bytes(value.begin(), value.end()));
    else if (verb == "ip-update-ack") command.bytes = encode(Ip_Address_Update_ACK);
    else if (verb == "delete" || verb == "delete-ack" || verb == "pressed-response") {
        const TVIActionCodes* action = TVIMessageTypes::actionNamed(value);
        if (!action) return fail("unknown action (make-call, clear-connection, deflect, hold, answer, retrieve, transfer, cancel)");
        const std::uint8_t type = verb == "delete" ? action->deleteRequest
                                  : verb == "delete-ack" ? action->deleteAck()
                                                         : action->pressedResponse();
        command.bytes = encode(type);
    } else if (verb == "raw") {
        auto bytes = parseHex(value);
        if (!bytes || bytes->empty()) return fail("expected hexadecimal bytes");
        command.bytes = *bytes;
    } else if (verb == "send") {
        const auto colon = value.find(':');
        auto type = number(value.substr(0, colon));
        auto payload = colon == std::string::npos ? std::optional<Bytes>(Bytes{}) : parseHex(value.substr(colon + 1));
        if (!type || *type > 255 || !payload || payload->size() > TVISocketMessage::maxPayloadLength)
            return fail("expected TYPE[:HEXPAYLOAD]");
        command.bytes = encode(static_cast<std::uint8_t>(*type), *payload);
    } else if (verb == "sleep" || verb == "linger") {
        auto ms = number(value);
        if (!ms) return fail("expected milliseconds");
        command.kind = verb == "sleep" ? PeerCommand::Kind::Sleep : PeerCommand::Kind::Linger;
        command.milliseconds = *ms;
    } else if (verb == "expect") {
        auto type = TVIMessageTypes::typeNamed(value);
        if (!type) type = number(value).value_or(256) < 256 ? std::optional<std::uint8_t>(*number(value)) : std::nullopt;
        if (!type) return fail("unknown message type");
        command.kind = PeerCommand::Kind::Expect;
        command.expectedType = *type;
    } else if (const TVIActionCodes* action = TVIMessageTypes::actionNamed(verb)) {
        auto payload = combinationPayload(value);
        if (!payload) return fail("unknown key in combination (e.g. F1, Ctrl+F5, Shift+Alt+F9, Esc)");
        command.bytes = encode(action->request, *payload);
    } else {
        return fail("unknown command");
    }
    return command;
}

}
