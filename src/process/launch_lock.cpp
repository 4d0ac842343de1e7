#include "process/launch_lock.h"

namespace vant {

constinit Mutex process_launch_lock;

}  // namespace vant
