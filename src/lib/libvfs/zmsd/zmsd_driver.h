// The remote service driver: serves a share of a zmsd daemon (zmp:// and zmps:// URLs) as the
// mount root, over one client session per mount.
#pragma once

#include "vfs.h"

extern const VfsDriver vfs_zmsd_driver;
