#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tvi::test {

// Failure with a clear message when no X display is named: desktop tests never skip
// silently. Use as ASSERT_TRUE(requireDisplay()).
::testing::AssertionResult requireDisplay();
// Runs a shell command; its standard output, or absent when it failed.
std::string shellOutput(const std::string& command, int* status = nullptr);
// Writes `text` to a file and puts it on the selection ("clipboard", "primary") with xclip,
// which keeps serving it from the background until another client takes the selection.
void xclipWrite(const std::string& selection, const std::string& text);
std::string xclipRead(const std::string& selection);

}
