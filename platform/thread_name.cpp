#include "platform/thread_name.h"

#include <cstring>
#include <pthread.h>

namespace platform {

void name_this_thread(const char* name)
{
    char cut[kThreadNameMax + 1] = {};
    std::strncpy(cut, name, kThreadNameMax);
    pthread_setname_np(pthread_self(), cut);
}

}  // namespace platform
