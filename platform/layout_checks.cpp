// Compiles the layout checks into every build of the driver.
#include "platform/layout_checks.h"
