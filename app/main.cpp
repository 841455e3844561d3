#include <cstdio>
#include <new>

#include "app/run.hpp"

int main(int argc, char** argv) {
    int code = 0;
    try {
        code = tessvert::run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Out of memory anywhere: the outputs' temporary files are already
        // removed by the unwinding; nothing was converted.
        std::fputs(" An error occured\n", stdout);
        code = 0;
    }
    std::fflush(stdout);
    return code;
}
