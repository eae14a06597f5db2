#include "app/TVIAppRunner.h"

int main(int argc, char** argv)
{
    return tvi::TVIAppRunner::run(argc, argv);
}
