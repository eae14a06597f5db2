// calvetto-peer: a command-line stand-in for Calvetto on Telvora's link.
#include "CalvettoPeer.h"
#include "PeerCommand.h"
#include "PeerWindow.h"
#include "link/TVIMessageTypes.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace tvi;
using namespace tvi::peer;
using namespace std::chrono;

namespace {

volatile std::sig_atomic_t interrupted = 0;

void usage(FILE* out)
{
    std::fputs(
        "usage: calvetto-peer [options] [command ...]\n"
        "Connects to Telvora like Calvetto does, runs the commands in order and prints every\n"
        "message in both directions (-> sent, <- received) with its code, name and payload.\n"
        "\n"
        "options:\n"
        "  --port N          connect to port N (default: read the port file)\n"
        "  --port-file PATH  port file (default: ~/Library/Application Support/Telvora/serverport.txt)\n"
        "  --host ADDR       numeric address to connect to (default 127.0.0.1; ::1 for IPv6)\n"
        "  --ip TEXT         answer Ip_Address_Request with TEXT (default 127.0.0.1)\n"
        "  --no-ip           do not answer Ip_Address_Request\n"
        "  --timeout MS      how long expect= waits (default 3000)\n"
        "  --linger MS       how long to keep printing after the last command (default 500)\n"
        "  --stay            keep running until Telvora closes the link or Ctrl-C\n"
        "  --window          show a small window identified as Calvetto (com.orvella.phoneclient)\n"
        "                    on the X display, to see Calvetto brought to the front\n"
        "\n"
        "commands:\n"
        "  ACTION=KEYS       ask for a shortcut: make-call, clear-connection, deflect, hold, answer,\n"
        "                    retrieve, transfer, cancel; KEYS like F1, Ctrl+F5, Shift+Alt+F9, Esc\n"
        "  start | stop      monitoring start / stop\n"
        "  delete=ACTION     delete an action's combination (delete-ack=ACTION acknowledges)\n"
        "  pressed-response=ACTION   acknowledge a press\n"
        "  echo | terminate  Echo_Request / ClickToDial_Terminate_Request\n"
        "  ip-update=TEXT    Ip_Address_Update with TEXT\n"
        "  send=TYPE[:HEX]   any type with a hexadecimal payload\n"
        "  raw=HEX           bytes exactly as given (several messages, a 00 header …)\n"
        "  expect=NAME       wait until a message of that type (name or code) arrives\n"
        "  sleep=MS          pause\n"
        "\n"
        "example: calvetto-peer make-call=F1 hold=Ctrl+F5 start --stay\n",
        out);
}

struct Options {
    std::optional<std::uint16_t> port;
    std::string portFile = CalvettoPeer::defaultPortFile();
    std::string host = "127.0.0.1";
    std::string ip = "127.0.0.1";
    bool answerIp = true;
    unsigned timeoutMs = 3000;
    unsigned lingerMs = 500;
    bool stay = false;
    bool window = false;
    std::vector<PeerCommand> commands;
};

bool parseArguments(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            std::exit(0);
        } else if (arg == "--port" || arg == "--port-file" || arg == "--host" || arg == "--ip" || arg == "--timeout" ||
                   arg == "--linger") {
            const char* value = next();
            if (!value) {
                std::fprintf(stderr, "calvetto-peer: %s needs a value\n", arg.c_str());
                return false;
            }
            if (arg == "--port") {
                const unsigned long port = std::strtoul(value, nullptr, 10);
                if (port == 0 || port > 65535) {
                    std::fprintf(stderr, "calvetto-peer: bad port %s\n", value);
                    return false;
                }
                options.port = static_cast<std::uint16_t>(port);
            } else if (arg == "--port-file") options.portFile = value;
            else if (arg == "--host") options.host = value;
            else if (arg == "--ip") options.ip = value;
            else if (arg == "--timeout") options.timeoutMs = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
            else options.lingerMs = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--no-ip") {
            options.answerIp = false;
        } else if (arg == "--stay") {
            options.stay = true;
        } else if (arg == "--window") {
            options.window = true;
        } else {
            std::string error;
            auto command = parsePeerCommand(arg, &error);
            if (!command) {
                std::fprintf(stderr, "calvetto-peer: %s\n", error.c_str());
                return false;
            }
            options.commands.push_back(*command);
        }
    }
    return true;
}

class Session {
public:
    Session(CalvettoPeer& peer, const Options& options) : peer_(peer), options_(options) {}

    void sendBytes(const Bytes& bytes)
    {
        // Print each whole message inside the bytes; a malformed tail is printed raw.
        std::size_t i = 0;
        while (i < bytes.size() && bytes[i] != 0 && i + bytes[i] < bytes.size()) {
            const Bytes payload(bytes.begin() + static_cast<long>(i) + 2, bytes.begin() + static_cast<long>(i + bytes[i] + 1));
            std::printf("%s\n", CalvettoPeer::describe("->", bytes[i + 1], payload).c_str());
            i += bytes[i] + 1u;
        }
        if (i < bytes.size()) std::printf("-> raw %s\n", toHex(Bytes(bytes.begin() + static_cast<long>(i), bytes.end())).c_str());
        std::fflush(stdout);
        peer_.sendRaw(bytes);
    }

    // Prints and answers what arrives within the time; true when `wanted` arrived.
    bool pump(milliseconds duration, int wanted = -1)
    {
        const auto deadline = steady_clock::now() + duration;
        while (!interrupted && !peer_.closedByPeer()) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
            if (left.count() <= 0) break;
            auto message = peer_.receive(std::min(left, milliseconds(100)));
            if (!message) continue;
            const Bytes payload = message->msgPayload().value_or(Bytes{});
            std::printf("%s\n", CalvettoPeer::describe("<-", message->msgType(), payload).c_str());
            std::fflush(stdout);
            if (message->msgType() == Ip_Address_Request && options_.answerIp) {
                TVISocketMessage reply;
                reply.setMsgType(Ip_Address_Response);
                reply.setMsgPayload(Bytes(options_.ip.begin(), options_.ip.end()));
                sendBytes(reply.convertToNSData());
            }
            if (message->msgType() == wanted) return true;
            unclaimed_.push_back(message->msgType());
        }
        return false;
    }

    // Waits for a type, counting one that already arrived and was not waited for yet.
    bool expect(int type, milliseconds timeout)
    {
        for (auto it = unclaimed_.begin(); it != unclaimed_.end(); ++it) {
            if (*it == type) {
                unclaimed_.erase(it);
                return true;
            }
        }
        return pump(timeout, type);
    }

private:
    CalvettoPeer& peer_;
    const Options& options_;
    std::vector<int> unclaimed_;
};

}

int main(int argc, char** argv)
{
    Options options;
    if (!parseArguments(argc, argv, options)) {
        usage(stderr);
        return 2;
    }
    if (!options.port) options.port = CalvettoPeer::readPortFile(options.portFile);
    if (!options.port) {
        std::fprintf(stderr, "calvetto-peer: no port: %s is missing or unreadable (is Telvora running?); use --port\n",
                     options.portFile.c_str());
        return 1;
    }
    PeerWindow window;
    if (options.window) {
        std::string error;
        if (!window.open(&error)) {
            std::fprintf(stderr, "calvetto-peer: --window: %s\n", error.c_str());
            return 1;
        }
        std::printf("window 0x%lx mapped (com.orvella.phoneclient)\n", window.windowId());
        std::fflush(stdout);
    }
    std::signal(SIGINT, [](int) { interrupted = 1; });
    std::signal(SIGTERM, [](int) { interrupted = 1; });

    CalvettoPeer peer;
    std::string error;
    if (!peer.connect(options.host, *options.port, &error)) {
        std::fprintf(stderr, "calvetto-peer: cannot connect to %s port %u: %s\n", options.host.c_str(), *options.port,
                     error.c_str());
        return 1;
    }
    std::printf("connected to %s port %u\n", options.host.c_str(), *options.port);
    std::fflush(stdout);
    Session session(peer, options);
    session.pump(milliseconds(100));
    int status = 0;
    for (const PeerCommand& command : options.commands) {
        if (interrupted || peer.closedByPeer()) break;
        switch (command.kind) {
        case PeerCommand::Kind::Send:
            session.sendBytes(command.bytes);
            session.pump(milliseconds(50));
            break;
        case PeerCommand::Kind::Sleep:
            session.pump(milliseconds(command.milliseconds));
            break;
        case PeerCommand::Kind::Linger:
            break;
        case PeerCommand::Kind::Expect:
            if (!session.expect(command.expectedType, milliseconds(options.timeoutMs))) {
                std::fprintf(stderr, "calvetto-peer: expected %s did not arrive\n",
                             std::string(TVIMessageTypes::name(command.expectedType).value_or("message")).c_str());
                status = 3;
            }
            break;
        }
    }
    if (options.stay) {
        while (!interrupted && !peer.closedByPeer()) session.pump(milliseconds(500));
    } else {
        session.pump(milliseconds(options.lingerMs));
    }
    if (peer.closedByPeer()) std::puts("Telvora closed the link");
    return status;
}
