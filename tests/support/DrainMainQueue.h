#pragma once

#include <chrono>
#include <string>

namespace tvi::test {

// Serves the main queue on the calling thread until every task queued so far has run;
// a safety stop fails the test instead of hanging it.
void drainMainQueue();

// Runs the main loop on the calling thread until it is stopped. Should that not happen within
// `limit`, the test fails with `failure` and the loop is stopped, so a broken loop or a lost
// stop fails the test instead of hanging it.
void runMainLoopAtMost(std::chrono::milliseconds limit, const std::string& failure);

}
