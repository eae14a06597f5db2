#pragma once

#include <chrono>
#include <cstdint>

namespace tvi::test {

// Waits until every loopback connection to serverPort has been taken in whole by the server
// process: what the clients sent, their close included, has arrived (the client side has nothing
// unacknowledged) and the server has read it (nothing unread on the server side). False on time-out.
// Lets a test split a stream into separately read pieces without guessing a delay.
bool waitUntilServerTookEverything(std::uint16_t serverPort,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(5));

}
