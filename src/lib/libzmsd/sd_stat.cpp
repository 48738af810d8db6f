// Status of paths and open files (commands 6/7, 28, 21/26): one response policy, extended for
// servers from 1.5.3 with nanoseconds and the POSIX counts, and one conversion into zmsd_stat.
#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

enum : int {
  CMD_STAT = 6,
  CMD_STAT_EXT = 7,
  CMD_FSTAT = 21,
  CMD_FSTAT_EXT = 26,
  CMD_LSTAT = 28,
};

constexpr int kBaseFields = 10;

const blobmsg_policy kStatPolicy[SD_STAT_FIELDS_MAX] = {
    {"errno", BLOBMSG_TYPE_INT32},          {"errno_str", BLOBMSG_TYPE_STRING},
    {"type", BLOBMSG_TYPE_INT32},           {"attrib_mode", BLOBMSG_TYPE_INT32},
    {"uid", BLOBMSG_TYPE_INT32},            {"gid", BLOBMSG_TYPE_INT32},
    {"len", BLOBMSG_TYPE_INT64},            {"time_access", BLOBMSG_TYPE_INT64},
    {"time_write", BLOBMSG_TYPE_INT64},     {"time_create", BLOBMSG_TYPE_INT64},
    {"time_access_ns", BLOBMSG_TYPE_INT32}, {"time_write_ns", BLOBMSG_TYPE_INT32},
    {"time_create_ns", BLOBMSG_TYPE_INT32}, {"st_nlink", BLOBMSG_TYPE_INT64},
    {"st_dev", BLOBMSG_TYPE_INT64},         {"st_rdev", BLOBMSG_TYPE_INT64},
    {"st_ino", BLOBMSG_TYPE_INT64},         {"st_blksize", BLOBMSG_TYPE_INT64},
    {"st_blocks", BLOBMSG_TYPE_INT64}};

// One stat exchange with the request in the build buffer.
int stat_call(zmsd_session *s, int command, zmsd_stat *out) {
  int count = 0;
  const blobmsg_policy *policy = sd_stat_policy(s, &count);
  const blob_attr *table[SD_STAT_FIELDS_MAX] = {};
  int status = sd_send(s, command);
  if (status == SD_OK) {
    int length = 0;
    status = client_recv_response(s, &length);
    if (status != SD_OK) ZLOG(LOG2_ERR, "client_recv_response ret=%d\n", status);
  }
  if (status == SD_OK && sd_parse(s, policy, count, table) != SD_OK) {
    ZLOG(LOG2_ERR, "cli_blobmsg_parse ret=%d\n", -1);
    status = SD_NET_DATA_ERROR;
  }
  if (status == SD_OK) status = zmsd_take_server_status(&s->link, table);
  if (status == SD_OK && out) sd_stat_take(s, table, out);
  return sd_report(s, status);
}

int path_stat(zmsd_session *s, int command, const char *path, zmsd_stat *out) {
  blob_buf *b = &s->link.build;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_string(b, "path", path) != 0)
    return sd_report(s, SD_MEMORY_ERROR);
  return stat_call(s, command, out);
}

}  // namespace

const blobmsg_policy *sd_stat_policy(const zmsd_session *s, int *count) {
  *count = s->flag_a ? SD_STAT_FIELDS_MAX : kBaseFields;
  return kStatPolicy;
}

void sd_stat_take(const zmsd_session *s, const blob_attr *const *t, zmsd_stat *out) {
  out->type = blobmsg_get_u32(t[2]);
  out->attrib_mode = blobmsg_get_u32(t[3]);
  out->uid = blobmsg_get_u32(t[4]);
  out->gid = blobmsg_get_u32(t[5]);
  out->len = blobmsg_get_u64(t[6]);
  out->time_access = blobmsg_get_u64(t[7]);
  out->time_write = blobmsg_get_u64(t[8]);
  out->time_create = blobmsg_get_u64(t[9]);
  if (!s->flag_a) {
    out->time_access_ns = out->time_write_ns = out->time_create_ns = 0;
    return;
  }
  out->time_access_ns = blobmsg_get_u32(t[10]);
  out->time_write_ns = blobmsg_get_u32(t[11]);
  out->time_create_ns = blobmsg_get_u32(t[12]);
  out->nlink = blobmsg_get_u64(t[13]);
  out->dev = blobmsg_get_u64(t[14]);
  out->rdev = blobmsg_get_u64(t[15]);
  out->ino = blobmsg_get_u64(t[16]);
  out->blksize = blobmsg_get_u64(t[17]);
  out->blocks = blobmsg_get_u64(t[18]);
}

int zmsd_cli_stat(zmsd_session *s, const char *path, zmsd_stat *out) {
  if (!sd_handle_session(s) || !path) return -1;
  return path_stat(s, s->flag_a ? CMD_STAT_EXT : CMD_STAT, path, out);
}

int zmsd_cli_stat2(zmsd_session *s, const char *path, zmsd_stat *out) {
  if (!sd_handle_session(s) || !path) return -1;
  return path_stat(s, CMD_LSTAT, path, out);
}

int zmsd_cli_fstat(zmsd_file *f, zmsd_stat *out) {
  if (!sd_file_handle(f)) return -1;
  zmsd_session *s = f->head.session;
  if (sd_begin_fd(s, f->fd) != SD_OK) return sd_report(s, SD_MEMORY_ERROR);
  return stat_call(s, s->flag_a ? CMD_FSTAT_EXT : CMD_FSTAT, out);
}
