// The FTP driver: serves a directory of an FTP server (ftp:// URLs) as the mount root, over
// logged-in control connections and passive data connections.
#pragma once

#include "vfs.h"

extern const VfsDriver vfs_ftp_driver;
