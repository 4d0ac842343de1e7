#include "setup/driver.h"

int main() { vant::run_setup(); }
