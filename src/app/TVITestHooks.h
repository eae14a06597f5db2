#pragma once

namespace tvi {

// Hooks for whole-process tests, present only when the environment has TELVORA_TEST_HOOKS=1.
// SIGUSR2 then blocks the main thread for TELVORA_TEST_BLOCK_SECONDS (default 3), inside
// telvoraTestHookBlockMainThread, so that the hang watchdog has something to find.
class TVITestHooks {
public:
    TVITestHooks() = delete;

    static bool requested();
    static void installIfRequested();
};

// Exported (not static) so that its name shows in a backtrace.
void telvoraTestHookBlockMainThread(unsigned seconds);

}
