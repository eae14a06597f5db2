#pragma once
#include <string>

namespace tvi::test {
// The throw-away HOME every test program runs in (set before the first test).
const std::string& testHome();
// A fresh, empty folder inside the test HOME.
std::string makeTempDir(const std::string& prefix = "tmp");
}
