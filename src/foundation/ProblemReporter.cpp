#include "foundation/ProblemReporter.h"

#include <atomic>
#include <cstdio>

namespace tvi {
namespace {

std::atomic<ProblemReporter::Hook> installedHook{nullptr};

}

void ProblemReporter::setHook(Hook hook)
{
    installedHook.store(hook, std::memory_order_release);
}

void ProblemReporter::report(const Problem& problem)
{
    if (const Hook hook = installedHook.load(std::memory_order_acquire)) return hook(problem);
    std::fprintf(stderr, "Telvora: %s\n", problem.text.c_str());
}

}
