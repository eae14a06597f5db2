#include "ConsoleLog.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace sarnex {
namespace {
std::function<void(const std::string&)>& sink()
{
    static std::function<void(const std::string&)> instance;
    return instance;
}
}

void ConsoleLog::line(const std::string& text)
{
    std::fprintf(stderr, "Sarnex Uninstall[%d]: %s\n", static_cast<int>(::getpid()), text.c_str());
    std::fflush(stderr);
    if (sink()) sink()(text);
}

void ConsoleLog::setSink(std::function<void(const std::string&)> newSink)
{
    sink() = std::move(newSink);
}

}
