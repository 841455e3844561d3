#include <cstdio>
#include <new>

#include "app/run.hpp"

int main(int argc, char** argv) {
    int code = 0;
    try {
        code = tessvert::run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Out of memory anywhere (a memory limit, ulimit -v): the outputs'
        // temporary files are already removed by the unwinding; nothing was
        // converted, and the console says why.
        std::fputs(" Warning: the conversion ran out of memory; nothing was converted\n An error occured\n", stdout);
        code = 0;
    }
    std::fflush(stdout);
    return code;
}
