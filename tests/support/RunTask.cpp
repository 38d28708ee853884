#include "RunTask.h"

#include <cstdio>
#include <cstdlib>

void kwtest::abortTimedOutTask() {
    std::fprintf(stderr, "kwtest: task did not finish in time\n");
    std::fflush(stderr);
    std::abort();
}
