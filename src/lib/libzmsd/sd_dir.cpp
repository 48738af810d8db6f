// Directory listings: open (41), chunks of listing text (42, or 44 with the extended fields for
// servers from 1.5.3) unpacked into the handle's buffer and cut into entries line by line, the
// listing position (server control 10050) and close (43). Line grammar: doc/listing.md.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "pal_log.h"
#include "sd_handles.h"

static const char kLogTag[] = "sdcli";

namespace {

enum : int {
  CMD_OPENDIR = 41,
  CMD_READDIR = 42,
  CMD_READDIR_EXT = 44,
};

const blobmsg_policy kOpenPolicy[] = {
    {"errno", BLOBMSG_TYPE_INT32}, {"errno_str", BLOBMSG_TYPE_STRING}, {"fd", BLOBMSG_TYPE_INT64}};
const blobmsg_policy kChunkPolicy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                       {"errno_str", BLOBMSG_TYPE_STRING},
                                       {"len", BLOBMSG_TYPE_INT32},
                                       {"data", BLOBMSG_TYPE_BINARY}};

// Reads one decimal field ended by a tab; false when the line breaks the grammar.
template <typename T>
bool take_number(char *&p, T *out) {
  char *end = nullptr;
  const unsigned long long v = strtoull(p, &end, 10);
  if (end == p || *end != '\t') return false;
  *out = T(v);
  p = end + 1;
  return true;
}

// One listing line (without its line feed) into e.
bool parse_line(char *line, bool ext, zmsd_dirent *e) {
  zmsd_stat &st = e->st;
  st = {};
  char *p = line;
  bool ok = take_number(p, &st.type) && take_number(p, &st.attrib_mode) &&
            take_number(p, &st.uid) && take_number(p, &st.gid) &&
            take_number(p, &st.time_access) && take_number(p, &st.time_write) &&
            take_number(p, &st.time_create) && take_number(p, &st.len);
  if (ok && ext)
    ok = take_number(p, &st.time_access_ns) && take_number(p, &st.time_write_ns) &&
         take_number(p, &st.time_create_ns) && take_number(p, &st.nlink) &&
         take_number(p, &st.dev) && take_number(p, &st.rdev) && take_number(p, &st.ino) &&
         take_number(p, &st.blksize) && take_number(p, &st.blocks);
  char *last_tab = ok ? strrchr(p, '\t') : nullptr;
  if (!last_tab) return false;
  *last_tab = '\0';
  snprintf(e->text, sizeof e->text, "%s", p);
  snprintf(e->name, sizeof e->name, "%s", last_tab + 1);
  return true;
}

// The next chunk of listing text into the handle's buffer. A status code.
int fetch_chunk(zmsd_dir *d) {
  zmsd_session *s = d->head.session;
  const int room = int(d->listing.size()) - 1;  // one byte kept for a terminator of our own
  if (sd_begin_fd(s, d->fd) != SD_OK || blobmsg_add_u32(&s->link.build, "len", uint32_t(room)) != 0)
    return SD_MEMORY_ERROR;
  int status = sd_send(s, s->flag_a ? CMD_READDIR_EXT : CMD_READDIR);
  if (status != SD_OK) return status;
  int length = 0;
  status = client_recv_response(s, &length);
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "client_recv_response ret=%d\n", status);
    return status;
  }
  const blob_attr *table[4] = {};
  if (sd_parse(s, kChunkPolicy, 4, table) != SD_OK) {
    ZLOG(LOG2_ERR, "parse data error\n");
    return SD_NET_DATA_ERROR;
  }
  status = zmsd_take_server_status(&s->link, table);
  if (status != SD_OK) return status;
  const int packed = blobmsg_data_len(table[3]);
  const int n = sdcomp_unpack(&s->comp, blobmsg_data(table[3]), packed, d->listing.data(), room);
  if (n < 0) {
    ZLOG(LOG2_ERR, "sdcomp_unpack pack_len=%d buf_len=%d ret=%d\n", packed, room, n);
    return SD_UNPACK_ERROR;
  }
  // The text should end with its NUL; one of our own keeps a short or broken chunk bounded.
  d->listing[size_t(n)] = '\0';
  return SD_OK;
}

}  // namespace

zmsd_dir *zmsd_cli_opendir(zmsd_session *s, const char *path, const char *pattern) {
  if (!sd_handle_session(s) || !path) return nullptr;
  blob_buf *b = &s->link.build;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_string(b, "path", path) != 0 ||
      blobmsg_add_string(b, "pattern", pattern ? pattern : "") != 0) {
    (void)sd_report(s, SD_MEMORY_ERROR);
    return nullptr;
  }
  const blob_attr *table[3] = {};
  int status = sd_send(s, CMD_OPENDIR);
  int length = 0;
  if (status == SD_OK) status = client_recv_response(s, &length);
  if (status == SD_OK && sd_parse(s, kOpenPolicy, 3, table) != SD_OK) {
    ZLOG(LOG2_ERR, "[%s] error: parse data\n", path);
    status = SD_NET_DATA_ERROR;
  }
  if (status == SD_OK) status = zmsd_take_server_status(&s->link, table);
  if (sd_report(s, status) != 0) return nullptr;
  auto *d = new (std::nothrow) zmsd_dir;
  if (!d) {
    (void)sd_report(s, SD_MEMORY_ERROR);
    return nullptr;
  }
  d->head.session = s;
  d->fd = blobmsg_get_u64(table[2]);
  s->dirs.push_back(d);
  return d;
}

zmsd_dirent *zmsd_cli_readdir(zmsd_dir *d) {
  if (!sd_dir_handle(d)) return nullptr;
  zmsd_session *s = d->head.session;
  if (d->listing.empty()) {
    try {
      d->listing.resize(size_t(s->rdir_size) + 1);
    } catch (const std::bad_alloc &) {
      (void)sd_report(s, SD_MEMORY_ERROR);
      return nullptr;
    }
  }
  if (d->pos == -1) {
    const int status = fetch_chunk(d);
    if (status != SD_OK) {
      (void)sd_report(s, status);
      // An error answer leaves the link in step; anything else leaves it unusable.
      if (status != SD_SRV_ERROR) sd_link_close(s);
      return nullptr;
    }
    d->pos = 0;
  }
  char *line = d->listing.data() + d->pos;
  char *lf = strchr(line, '\n');
  if (!lf) {
    ZLOG(LOG2_ERR, "error: info=[%s]\n", line);
    (void)sd_report(s, SD_NET_DATA_ERROR);
    return nullptr;
  }
  if (lf == line) {
    (void)sd_report(s, SD_OK);
    return nullptr;
  }
  *lf = '\0';
  if (!parse_line(line, s->flag_a, &d->entry)) {
    ZLOG(LOG2_ERR, "error: info=[%s]\n", line);
    (void)sd_report(s, SD_NET_DATA_ERROR);
    return nullptr;
  }
  d->pos = lf[1] == '\0' ? -1 : int32_t(lf + 1 - d->listing.data());
  ++d->count;
  (void)sd_report(s, SD_OK);
  return &d->entry;
}

int64_t zmsd_cli_telldir(zmsd_dir *d) { return sd_dir_handle(d) ? int64_t(d->count) : -1; }

int zmsd_cli_seekdir(zmsd_dir *d, uint64_t n) {
  if (!sd_dir_handle(d)) return -1;
  char text[24];
  snprintf(text, sizeof text, "%" PRIu64, n);
  zmsd_session *s = d->head.session;
  if (sd_report(s, sd_server_control(s, d->fd, ZMSD_IOCTL2_SEEKDIR, text, int(strlen(text)) + 1,
                                     nullptr, 0, nullptr)) != 0)
    return -1;
  d->count = n;
  d->pos = -1;
  return 0;
}
