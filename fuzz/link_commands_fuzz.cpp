// Arbitrary message bodies straight into command processing and key-combination
// decoding, without sockets: fast and deterministic. The input is one body
// (type byte + payload), as the read cycle would hand it over.
//
// Checked besides memory safety and undefined behaviour:
// - the message record rebuilds exactly the bytes it was made from;
// - key-combination decoding answers with one of the request's own three codes
//   (Unknown_Command_Response for any other identifier) and posts the action's
//   notification, with an integer key and modifier mask, exactly when it accepts;
// - command processing asks the controller only for what the type calls for:
//   all eight switches for monitoring start and stop, one switch-off for a
//   delete request, the address for the two address messages, nothing else.
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "foundation/NotificationCenter.h"
#include "link/TVIMessageTypes.h"
#include "link/TVISocket.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using namespace tvi;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "link_commands_fuzz: %s\n", what);
    std::abort();
}

// Records every controller call: (switch index or -1 for the address, value).
class RecordingController : public TVISocketController {
public:
    struct Call {
        int index;
        bool enabled;
        std::optional<std::string> address;
    };

    void askForIpAddress() override { record({-2, false, {}}); }
    void disableAllShortcuts() override { record({-3, false, {}}); }
    bool holdsShortcut(TVICallAction, std::uint64_t, std::uint64_t) override { return true; }
    void setShortcutEnabled(TVICallAction action, bool e) override { record({static_cast<int>(action), e, {}}); }
    void setLastSavedIpString(const std::optional<std::string>& address) override { record({-1, false, address}); }

    std::vector<Call> take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }

private:
    void record(Call call)
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }

    std::mutex mutex_;
    std::vector<Call> calls_;
};

struct Posted {
    std::string name;
    bool wellFormed;
};

struct Harness {
    std::shared_ptr<TVISocket> server = TVISocket::create();
    std::shared_ptr<RecordingController> controller = std::make_shared<RecordingController>();
    // Never connected: replies written to it are dropped by the socket itself.
    std::shared_ptr<GCDAsyncSocket> connection = GCDAsyncSocket::create({}, nullptr);
    std::mutex postedMutex;
    std::vector<Posted> posted;

    Harness()
    {
        server->setController(controller);
        NotificationCenter::defaultCenter().addObserver("", nullptr, [this](const Notification& n) {
            auto integer = [&n](const char* key) {
                const auto found = n.userInfo.find(key);
                return found != n.userInfo.end() && found->second.is<std::int64_t>() &&
                       *found->second.get<std::int64_t>() >= 0;
            };
            std::lock_guard lock(postedMutex);
            posted.push_back({n.name, integer("key") && integer("modifierFlags") && n.userInfo.size() == 2});
        });
    }

    std::vector<Posted> takePosted()
    {
        std::lock_guard lock(postedMutex);
        return std::exchange(posted, {});
    }
};

Harness& harness()
{
    static Harness* h = new Harness();
    return *h;
}

// Runs what is queued on the main queue on this thread, the fuzzer's main thread.
void drainMainQueue()
{
    MainRunLoop::shared().post([] { MainRunLoop::shared().stop(); });
    MainRunLoop::shared().run();
}

void checkRecord(const Bytes& body)
{
    const TVISocketMessage message = TVISocketMessage::initWithData(body);
    if (message.msgType() != body[0]) fail("message type is not the first byte");
    if (message.length() != body.size()) fail("message length is not the body length");
    Bytes framed{static_cast<std::uint8_t>(body.size())};
    framed.insert(framed.end(), body.begin(), body.end());
    if (body.size() <= 255 && message.convertToNSData() != framed) fail("message does not encode to its own bytes");
}

void checkDecoding(Harness& h, std::uint8_t identifier, const Bytes& payload)
{
    const std::uint8_t answer = h.server->translateMsgPayLoadToKeys(payload, identifier);
    const std::vector<Posted> posted = h.takePosted();
    const TVIActionCodes* action = TVIMessageTypes::actionForRequest(identifier);
    if (!action) {
        if (answer != Unknown_Command_Response) fail("decoding answered an unknown identifier with a known code");
        if (!posted.empty()) fail("decoding posted for an unknown identifier");
        return;
    }
    if (answer != action->accepted() && answer != action->rejected() && answer != action->failed())
        fail("decoding answered with a code that is not the request's");
    if ((answer == action->accepted()) != (posted.size() == 1)) fail("a notification without acceptance, or none");
    if (posted.size() > 1) fail("more than one notification for one request");
    if (posted.size() == 1 && (posted[0].name != action->notification || !posted[0].wellFormed))
        fail("wrong notification name or key details");
}

void checkProcessing(Harness& h, const Bytes& body)
{
    DispatchQueue::main()->async([&h, body] { h.server->processCommand(h.connection, body); });
    drainMainQueue();
    drainMainQueue(); // the hold-call switch-off comes one main-queue turn later
    const std::vector<RecordingController::Call> calls = h.controller->take();
    const std::vector<Posted> posted = h.takePosted();
    const std::uint8_t type = body[0];
    const Bytes payload(body.begin() + 1, body.end());

    if (type == Monitoring_Start_Request || type == Monitoring_Stop_Request) {
        const bool on = type == Monitoring_Start_Request;
        unsigned seen = 0;
        for (const auto& call : calls) {
            if (call.index < 0 || call.enabled != on) fail("monitoring switched something other than the shortcuts");
            seen |= 1u << call.index;
        }
        if (calls.size() != 8 || seen != 0xFF) fail("monitoring did not switch each shortcut once");
    } else if (const TVIActionCodes* deleted = TVIMessageTypes::actionForDeleteRequest(type)) {
        if (calls.size() != 1 || calls[0].index < 0 || calls[0].enabled) fail("a delete request switched not one off");
        (void)deleted;
    } else if (type == Ip_Address_Response || type == Ip_Address_Update) {
        if (calls.size() != 1 || calls[0].index != -1) fail("an address message did not store one address");
        if (calls[0].address && *calls[0].address != std::string(payload.begin(), payload.end()))
            fail("the stored address is not the payload");
    } else if (!calls.empty()) {
        fail("the controller was asked for something this type does not call for");
    }

    const TVIActionCodes* action = TVIMessageTypes::actionForRequest(type);
    if (posted.size() > (action ? 1u : 0u)) fail("processing posted a notification it should not");
    if (!posted.empty() && posted[0].name != action->notification) fail("processing posted the wrong notification");
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0; // the read cycle never hands over an empty body
    Harness& h = harness();
    const Bytes body(data, data + size);
    checkRecord(body);
    checkDecoding(h, body[0], Bytes(body.begin() + 1, body.end()));
    checkProcessing(h, body);
    return 0;
}
