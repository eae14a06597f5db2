#include <cstdio>

// Placeholder until the application controller exists.
int main()
{
    std::puts("Telvora " TELVORA_VERSION ": the application is not built yet; run the tests with ./scripts/test.sh");
    return 0;
}
