#pragma once

#include <dlfcn.h>

namespace tvi {

// Helpers for libraries opened at run time (dlopen) instead of being linked into every start.
namespace LoadedLibrary {

// Looks `name` up in an opened library; false when it lacks the symbol.
template <typename Function>
bool resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

// One instance of `Library`, loaded on first use and kept for the life of the process;
// nullptr when its load() fails.
template <typename Library>
const Library* shared()
{
    static Library* library = [] {
        auto* candidate = new Library;
        if (candidate->load()) return candidate;
        delete candidate;
        return static_cast<Library*>(nullptr);
    }();
    return library;
}

}

}
