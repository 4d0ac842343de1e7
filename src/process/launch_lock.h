// Held by every child start from the first inheritable duplicate until the
// last is closed: a start on another thread in that window would hand this
// start's duplicates to its own child.
#pragma once

#include "platform/lock.h"

namespace vant {

extern constinit Mutex process_launch_lock;

}  // namespace vant
