// The adapter's list of file handles open for writing, by path. Data may wait in a handle's
// write cache; before an operation that reads or sets the file's attributes by path (getattr,
// truncate, utimens) that data must reach the back end, or the size would be stale and a later
// flush would undo the new times or length. Used by the FUSE thread only.
#pragma once

#include "vfs.h"

void myfuse_track_open(const char *path, VfsHandle *fh);
void myfuse_untrack_open(VfsHandle *fh);
// Follows a rename of a file or of a directory above open files.
void myfuse_rename_open(const char *from, const char *to);
// Writes the pending data of every handle open on path: 0, or -1 when one flush failed.
[[nodiscard]] int myfuse_flush_path(const char *path);
// Empties the list once the request loop ended; the handles go with the VFS mount.
void myfuse_forget_open();
