// The local directory driver: serves a directory of this machine as the mount root. It claims
// every URL, so it is registered first and probed last.
#pragma once

#include "vfs.h"

extern const VfsDriver vfs_file_driver;
