// Started by RelaunchTest: relaunches like zelvan's main, then reports what
// OpenMP saw when it loaded, the variable and the arguments.
#include "platform/Relaunch.h"

#include <cstdio>
#include <cstdlib>
#include <omp.h>

int main(int argc, char** argv)
{
    Relaunch::withEnvironment("OMP_THREAD_LIMIT", "1", argv);
    const char* env = std::getenv("OMP_THREAD_LIMIT");
    std::printf("limit=%d env=%s args=", omp_get_thread_limit(), env ? env : "(unset)");
    for (int i = 1; i < argc; ++i)
        std::printf("%s%s", i > 1 ? "|" : "", argv[i]);
    std::printf("\n");
    return 0;
}
