// The local directory driver's slot functions, gathered into its driver record.
#pragma once

#include "vfs.h"

void *vfs_file_mount(const char *url, void *arg, verr_info *err, VfsMount *mount);
int vfs_file_statfs(void *ctx, VfsVolInfo *info);

void *vfs_file_open(void *ctx, const char *path, uint32_t flags);
void *vfs_file_wopen(void *ctx, const char *path, uint32_t access, uint32_t share, void *security,
                     uint32_t disposition, uint32_t attributes, void *templ);
void *vfs_file_open2(void *ctx, const char *path, uint32_t portable_flags, uint32_t mode);
int vfs_file_close(void *fh, int flag, int kind);
int vfs_file_read(void *fh, void *buf, uint32_t size, int64_t offset);
int vfs_file_write(void *fh, const void *buf, uint32_t size, int64_t offset);
int vfs_file_fsync(void *fh, int datasync);
int64_t vfs_file_lseek(void *fh, int64_t offset, int whence);
int vfs_file_fstat(void *fh, VfsFileInfo *info);
int vfs_file_ftruncate(void *fh, int64_t length);
int vfs_file_futime(void *fh, const VfsTimes *times);
int vfs_file_flock(void *fh, int operation, int64_t start, int64_t length);

void *vfs_file_opendir(void *ctx, const char *path, const char *pattern);
VfsDirEntry *vfs_file_readdir(void *dh);
void vfs_file_seekdir(void *dh, int64_t pos);
int64_t vfs_file_telldir(void *dh);
int vfs_file_closedir(void *dh);

int vfs_file_ioctl(void *ctx, uint32_t code, void *block, int32_t size);
