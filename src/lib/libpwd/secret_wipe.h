// Overwrites memory that held a secret so that the compiler cannot drop the stores as dead.
// Used for password copies, digest states and login keys before their memory is released.
#pragma once

#include <cstddef>

void secret_wipe(void *p, size_t n);
