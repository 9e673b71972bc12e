#include "core/c331_shared.h"

QMutex c331_shared::c331_lock;
std::atomic<int> c331_shared::param_changed{0};
