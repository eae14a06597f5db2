// Key-combination decoding: Calvetto's client key codes to a key code and modifier mask.
#define TVI_LOG_CLASS_NAME "TVISocket"
#include "link/TVISocket.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/DataConversion.h"
#include "foundation/NotificationCenter.h"
#include "link/TVIMessageTypes.h"
#include "shortcuts/TVIHotKeyUtilities.h"

#include <array>

namespace tvi {
namespace {

std::string withActionWords(const char* lineFormat, const TVIActionCodes& action)
{
    std::string text = lineFormat;
    const std::string placeholder = "Make Call";
    text.replace(text.find(placeholder), placeholder.size(), action.logWords);
    return text;
}

bool singleKeyAllowed(const TVIActionCodes& action, std::uint32_t key)
{
    if (TVIHotKeyUtilities::isKeyAWinFunctionKey(key)) return true;
    return action.action == TVICallAction::CancelAction && TVIHotKeyUtilities::isKeyAWinEscapeKey(key);
}

}

std::uint32_t TVISocket::bcdToIntegerConversion(std::size_t count, const std::uint8_t* bcdBuffer)
{
    std::uint32_t result = 0;
    for (std::size_t i = 0; i < count; ++i) result = result * 100 + bcdBuffer[i];
    DDLogInfo("%@: Converting bcd buffer to Int result:%u", result);
    return result;
}

std::uint8_t TVISocket::translateMsgPayLoadToKeys(const Bytes& payload, std::uint8_t keyIdentifier)
{
    DDLogInfo("%@: bufferStringInHex:%@", DataConversion::hexadecimalString(payload));
    const TVIActionCodes* action = TVIMessageTypes::actionForRequest(keyIdentifier);
    // An empty payload is an empty combination, as if the count were 0.
    const std::uint8_t count = payload.empty() ? 0 : payload[0];

    if (count == 0) {
        if (action) {
            DDLogWarn(withActionWords("%@: Button Combination keys 0 [Make Call] rejected Wrong keys!", *action).c_str());
            return action->rejected();
        }
        DDLogWarn("%@: Button Combination keys 0 return Unknown_Command_Response");
        return Unknown_Command_Response;
    }
    if (count <= 3 && payload.size() < 1 + 2u * count) {
        // Keys announced but not sent cannot be translated.
        DDLogWarn("%@: Button Combination payload of %lu bytes is too short for %hhu keys", payload.size(), count);
        return action ? action->failed() : static_cast<std::uint8_t>(Unknown_Command_Response);
    }

    std::array<std::optional<std::uint32_t>, 3> keys;
    if (count <= 3)
        for (std::uint8_t i = 0; i < count; ++i) keys[i] = bcdToIntegerConversion(2, &payload[1 + 2u * i]);

    if (count == 1) {
        if (!action) return Unknown_Command_Response;
        if (!singleKeyAllowed(*action, *keys[0])) {
            DDLogWarn(withActionWords("%@: Button Combination keys 1 [Make Call] rejected Wrong keys!", *action).c_str());
            return action->rejected();
        }
    }

    std::array<std::string, 3> names;
    for (std::size_t i = 0; i < 3; ++i)
        if (keys[i]) names[i] = TVIHotKeyUtilities::keycodeTranslator(*keys[i]).value_or("");
    const std::uint64_t modifierFlags = TVIHotKeyUtilities::createModifierFlags(names[0], names[1], names[2], count);
    const std::string keyStringToSet = count <= 3 ? names[count - 1] : std::string();

    // Leading keys that add no modifier leave the main key alone: it must pass as a single
    // key, or a bare letter would stop typing in every application.
    if (action && (count == 2 || count == 3) && modifierFlags == 0 && !singleKeyAllowed(*action, *keys[count - 1])) {
        DDLogWarn(withActionWords("%@: Button Combination keys 1 [Make Call] rejected Wrong keys!", *action).c_str());
        return action->rejected();
    }

    std::optional<PlistDictionary> keyDetails;
    std::uint64_t keyCode = 0;
    if (!keyStringToSet.empty()) {
        DDLogInfo("%@: keyStringToSet:%@", keyStringToSet);
        keyCode = TVIHotKeyUtilities::stringToKeycodeTranslator(keyStringToSet);
        keyDetails = PlistDictionary{{"key", static_cast<std::int64_t>(keyCode)},
                                     {"modifierFlags", static_cast<std::int64_t>(modifierFlags)}};
    } else {
        DDLogWarn("%@: keyStringToSet is empty!!!");
    }

    if (action && keyDetails) {
        notificationCenter_.post(std::string(action->notification), this, *keyDetails);
        // The controller registered it while the notification was delivered; a combination
        // the system or another program holds must not be shown to Calvetto as working.
        bool registered = false;
        withController([&](TVISocketController& c) { registered = c.holdsShortcut(action->action, keyCode, modifierFlags); });
        if (registered) return action->accepted();
        DDLogWarn(withActionWords("%@: Button Combination [Make Call] could not be registered, answered Failed", *action)
                      .c_str());
        return action->failed();
    }
    if (action) {
        DDLogWarn(withActionWords("%@: keyDetails is empty for Make Call!", *action).c_str());
        return action->failed();
    }
    DDLogInfo("%@: Unknown_Command_Response identifier:%c", static_cast<char>(keyIdentifier));
    return Unknown_Command_Response;
}

}
