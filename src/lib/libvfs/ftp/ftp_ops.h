// The FTP driver's slot functions, gathered into its driver record, and the transfer steps
// that path operations share with them.
#pragma once

#include "ftp_ctx.h"

int ftp_probe(const char *url);
void *ftp_mount(const char *url, void *arg, verr_info *err, VfsMount *mount);

// VFS open flags: exactly read only, write only, or write only with append.
void *ftp_open(void *ctx, const char *path, uint32_t flags);
void *ftp_open2(void *ctx, const char *path, uint32_t portable_flags, uint32_t mode);
int ftp_close(void *fh, int flag, int kind);
int ftp_read(void *fh, void *buf, uint32_t size, int64_t offset);
int ftp_write(void *fh, const void *buf, uint32_t size, int64_t offset);
int ftp_fsync(void *fh, int datasync);
// Every close(2): completes the upload like fsync, so that close reports its result.
int ftp_flush(void *fh);
int64_t ftp_lseek(void *fh, int64_t offset, int whence);
int ftp_fstat(void *fh, VfsFileInfo *info);

void *ftp_opendir(void *ctx, const char *path, const char *pattern);
VfsDirEntry *ftp_readdir(void *dh);
void ftp_seekdir(void *dh, int64_t pos);
int64_t ftp_telldir(void *dh);
int ftp_closedir(void *dh);

int ftp_ioctl(void *ctx, uint32_t code, void *block, int32_t size);
int ftp_statfs(void *ctx, VfsVolInfo *info);

// A transfer of the server path from offset (downloads) with the VFS flags; null with the
// error recorded. keep_data: refuse an upload that would replace a non-empty file.
FtpFile *ftp_transfer_open(FtpMount *ctx, const std::string &server_path, uint32_t flags,
                           int64_t offset, bool keep_data);
// Ends the transfer and frees the handle: 0, or -1 when an upload was not completed.
int ftp_transfer_close(FtpFile *file);
