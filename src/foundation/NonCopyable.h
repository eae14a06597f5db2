#pragma once

namespace tvi {

// A base for objects that stand for something held while they live (a scope's setting, a
// thread): copying one would release what it holds twice.
class NonCopyable {
public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;

protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};

}
