#include "DesktopTools.h"

#include "support/TestHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>

namespace tvi::test {

::testing::AssertionResult requireDisplay()
{
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "DISPLAY is not set: desktop tests need an X server with a window "
                                            "manager (scripts/test.sh starts one)";
}

std::string shellOutput(const std::string& command, int* status)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[65536];
    std::size_t read = 0;
    while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, read);
    const int result = pclose(pipe);
    if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

void xclipWrite(const std::string& selection, const std::string& text)
{
    const std::string file = makeTempDir("xclip") + "/text";
    std::ofstream(file, std::ios::binary) << text;
    int status = -1;
    // Its background child must not hold the test's output open.
    shellOutput("xclip -selection " + selection + " -i '" + file + "' >/dev/null 2>&1", &status);
    EXPECT_EQ(status, 0) << "xclip failed";
}

std::string xclipRead(const std::string& selection)
{
    return shellOutput("timeout 10 xclip -o -selection " + selection + " 2>/dev/null");
}

}
