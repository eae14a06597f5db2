#include "app/TVIWindowPresenter.h"

#include <mutex>
#include <utility>

namespace tvi {

namespace {

std::mutex& presenterMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<TVIWindowPresenter>& presenterSlot()
{
    static std::shared_ptr<TVIWindowPresenter> presenter;
    return presenter;
}

}

std::shared_ptr<TVIWindowPresenter> TVIWindowPresenter::install(std::shared_ptr<TVIWindowPresenter> presenter)
{
    std::lock_guard lock(presenterMutex());
    std::swap(presenterSlot(), presenter);
    return presenter;
}

std::shared_ptr<TVIWindowPresenter> TVIWindowPresenter::installed()
{
    std::lock_guard lock(presenterMutex());
    return presenterSlot();
}

}
