/* The services' interface compiled as C: a services library written in C includes the same header. */
#include "dispatch/terminal.h"

_Static_assert(VEK_KEY_OK == 768 && VEK_KEY_HELP == 15104, "key codes are part of the interface");
