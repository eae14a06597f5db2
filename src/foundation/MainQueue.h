#pragma once

#include "foundation/DispatchQueue.h"

namespace tvi {

// The main queue: its tasks go to whatever MainRunLoop is installed, which runs
// them one at a time on the main thread.
class MainQueue final : public DispatchQueue {
public:
    MainQueue();

    void async(Task task) override;
    void after(Duration delay, Task task) override;

private:
    Task wrap(Task task);
};

}
