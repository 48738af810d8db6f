// Server information (command 4): the "key=[value]" text, the server's version and the gates
// that pick command variants. An information text without "ver" closes every gate.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "pal_log.h"
#include "sd_session.h"

static const char kLogTag[] = "sdcli";

namespace {

constexpr int CMD_SERVER_INFO = 4;
constexpr int kVerFields = 4;

const blobmsg_policy kInfoPolicy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                      {"errno_str", BLOBMSG_TYPE_STRING},
                                      {"info", BLOBMSG_TYPE_STRING}};

// The line of info that starts with key and "=", or an empty view.
std::string_view info_line(std::string_view info, std::string_view key) {
  while (!info.empty()) {
    const size_t end = info.find('\n');
    const std::string_view line = info.substr(0, end);
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
      return line.substr(key.size() + 1);
    if (end == std::string_view::npos) break;
    info.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace

char *zmsd_info_value(const char *info, const char *key, char *out, size_t size) {
  if (!out || size == 0) return out;
  out[0] = '\0';
  if (!info || !key) return out;
  const std::string_view value = info_line(info, key);
  const size_t open = value.find('[');
  const size_t close = value.rfind(']');
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open)
    return out;
  const size_t n = std::min(close - open - 1, size - 1);
  memcpy(out, value.data() + open + 1, n);
  out[n] = '\0';
  return out;
}

uint64_t zmsd_ver_parse(const char *text) {
  if (!text || !isdigit(static_cast<unsigned char>(*text))) return 0;
  uint64_t packed = 0;
  const char *p = text;
  for (int field = 1;; ++field, ++p) {
    if (field > kVerFields) return 0;
    uint16_t number = 0;  // each number is kept in 16 bits
    for (; isdigit(static_cast<unsigned char>(*p)); ++p)
      number = uint16_t(number * 10 + (*p - '0'));
    packed |= uint64_t(number) << (16 * (kVerFields - field));
    if (*p != '.') break;
  }
  return packed >> 48 == 0 ? 0 : packed;
}

bool zmsd_ver_at_least(const char *text, const char *least) {
  return zmsd_ver_parse(text) >= zmsd_ver_parse(least);
}

int cli_info(zmsd_session *s, char *out, size_t size) {
  if (!out || size == 0) return SD_MEMORY_ERROR;
  out[0] = '\0';
  blob_buf *b = &s->link.build;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_string(b, "param", "") != 0)
    return SD_MEMORY_ERROR;
  const blob_attr *table[3] = {};
  const int status = sd_call(s, CMD_SERVER_INFO, kInfoPolicy, 3, table);
  if (status == SD_OK) snprintf(out, size, "%s", blobmsg_get_string(table[2]));
  return status;
}

int zmsd_cli_ver_info(zmsd_session *s) {
  char info[SD_INFO_SIZE];
  const int status = cli_info(s, info, sizeof info);
  if (status != SD_OK) {
    zmsd_cli_set_last_error(&s->link, status);
    return -1;
  }
  char plat[64], arch[64], bit[8], order[16], is_root[4];
  zmsd_info_value(info, "ver", s->srv_ver, sizeof s->srv_ver);
  zmsd_info_value(info, "plat", plat, sizeof plat);
  zmsd_info_value(info, "arch", arch, sizeof arch);
  zmsd_info_value(info, "bit", bit, sizeof bit);
  zmsd_info_value(info, "order", order, sizeof order);
  zmsd_info_value(info, "is_root", is_root, sizeof is_root);
  s->flag_a = zmsd_ver_at_least(s->srv_ver, "1.5.3");
  s->flag_b = zmsd_ver_at_least(s->srv_ver, "1.6.4");
  s->windows = strcmp(plat, "windows") == 0;
  ZLOG(LOG2_DBG, "ver=%s os=%s.%s.%s order=%s is_root=%s\n", s->srv_ver, plat, arch, bit, order,
       is_root);
  return 0;
}

const char *zmsd_cli_srv_ver(const zmsd_session *s) { return s->srv_ver; }
bool zmsd_cli_ext_stat(const zmsd_session *s) { return s->flag_a != 0; }
bool zmsd_cli_positioned_io(const zmsd_session *s) { return s->flag_b != 0; }
bool zmsd_cli_is_windows(const zmsd_session *s) { return s->windows != 0; }
