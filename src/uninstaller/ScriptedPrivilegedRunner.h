#pragma once

// An in-memory privileged step that answers with outcomes given in advance, one per run
// (the last one repeats), and counts its runs; it can be told that it cannot run.
#include "PrivilegedRunner.h"

#include <vector>

namespace sarnex {

class ScriptedPrivilegedRunner : public PrivilegedRunner {
public:
    explicit ScriptedPrivilegedRunner(std::vector<PrivilegedOutcome> outcomes) : outcomes_(std::move(outcomes)) {}
    void setCannotRun(std::optional<std::string> why) { cannotRun_ = std::move(why); }
    std::optional<std::string> whyItCannotRun() override { return cannotRun_; }
    PrivilegedOutcome run() override
    {
        const std::size_t index = runs_ < outcomes_.size() ? runs_ : outcomes_.size() - 1;
        ++runs_;
        return outcomes_.empty() ? PrivilegedOutcome{} : outcomes_[index];
    }
    std::size_t runs() const { return runs_; }

private:
    std::vector<PrivilegedOutcome> outcomes_;
    std::size_t runs_ = 0;
    std::optional<std::string> cannotRun_;
};

}
