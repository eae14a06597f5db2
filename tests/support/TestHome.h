#pragma once
#include <string>

namespace tvi::test {
// The throw-away HOME every test process runs in. The test main creates it before anything else runs
// (a child of a test reuses its parent's) and removes the one it created when the process exits.
const std::string& testHome();
// A fresh, empty folder inside the test HOME.
std::string makeTempDir(const std::string& prefix = "tmp");

// Used by the test main: sets HOME to a private folder, and refuses (exits with a message) to run
// a test process whose HOME would be the user's own.
void enterTestHome();
// Fails the current test when it left HOME pointing anywhere but the test HOME.
void expectHomeUnchanged();
}
