#pragma once

#include <sys/types.h>

#include <chrono>

namespace tvi::test {

// The kernel's id of the calling thread.
pid_t currentThreadId();

// Waits until the thread sleeps in a futex wait, i.e. blocks on a lock, condition or semaphore
// (or has ended). False on time-out. Lets a test check that a call blocks, or release waiters once
// they all wait, without guessing a delay.
bool waitUntilBlocked(pid_t thread, std::chrono::milliseconds timeout = std::chrono::seconds(5));

}
