// The compressors of the registry, one per source file; the registry in pack_ex.cpp lists them
// in their search order.
#pragma once

#include "pack_ex.h"

extern const zcomp_desc zcomp_none_desc;
extern const zcomp_desc zcomp_lz4_desc;
