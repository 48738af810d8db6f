// Saved sessions of the client profile ("session/<name>" sections): reading and writing the
// session record, turning a session into a real URL, walking the sessions, and resolving mount
// URLs of the form "///<session>/<path>?<query>".
#include <cstdio>
#include <cstring>
#include <string>

#include "conf.h"
#include "pal_log.h"
#include "pal_url.h"
#include "zmcli.h"

static const char kLogTag[] = "zmcli";

namespace {

inline constexpr char kMissing[] = "error_val!!!";
inline constexpr char kLoadFailed[] = "conf_load %s failed\n";
inline constexpr char kSessionPrefix[] = "session/";
inline constexpr char kQuickConnection[] = "_Quick_Connection";
// The daemon's default ports, for a port word that names the other protocol's default.
inline constexpr char kZmpPortWord[] = "ZMP_DEF_PORT";
inline constexpr char kZmpsPortWord[] = "ZMPS_DEF_PORT";
inline constexpr char kZmpPortNumber[] = "6688";
inline constexpr char kZmpsPortNumber[] = "6686";

template <size_t N>
void copy_field(char (&field)[N], const char *text) {
  snprintf(field, N, "%s", text ? text : "");
}

std::string section_of(const char *name) { return std::string(kSessionPrefix) + (name ? name : ""); }

// Clears a record that held a password once it is no longer needed.
struct info_wipe {
  conf_client_info *info;
  ~info_wipe() {
    volatile unsigned char *p = reinterpret_cast<volatile unsigned char *>(info);
    for (size_t i = 0; i < sizeof *info; ++i) p[i] = 0;
  }
};

int read_info(conf_handle *conf, const char *name, conf_client_info *info) {
  *info = conf_client_info{};
  copy_field(info->name, name);
  const std::string section = section_of(info->name);
  const char *sec = section.c_str();
  const char *prot = conf_get_string(conf, sec, "prot", kMissing);
  if (prot == kMissing) {
    ZLOG(LOG2_ERR, "conf_get_string [%s][prot] val=%s type fail\n", sec, prot);
    return -1;
  }
  if (strcmp(prot, "zmp") == 0) {
    const char *ip = conf_get_string(conf, sec, "ip", kMissing);
    if (ip == kMissing) {
      ZLOG(LOG2_ERR, "conf_get_string [%s][prot] type fail\n", sec);
      return -1;
    }
    info->kind = CONF_CLIENT_ZMP;
    copy_field(info->ip, ip);
    info->use_ssl = static_cast<uint8_t>(conf_get_int(conf, sec, "use_ssl", 0));
    copy_field(info->port, conf_get_string(conf, sec, "port", ""));
    copy_field(info->user, conf_get_string(conf, sec, "user", ""));
    copy_field(info->pwd, conf_get_string(conf, sec, "pwd", ""));
    copy_field(info->bs, conf_get_string(conf, sec, "bs", "2M"));
    copy_field(info->fmod, conf_get_string(conf, sec, "fmod", "644"));
    copy_field(info->dmod, conf_get_string(conf, sec, "dmod", "755"));
    copy_field(info->proxy, conf_get_string(conf, sec, "proxy", ""));
  } else if (strcmp(prot, "net") == 0) {
    info->kind = CONF_CLIENT_NET;
  } else if (strcmp(prot, "loc") == 0) {
    info->kind = CONF_CLIENT_LOC;
  } else {
    ZLOG(LOG2_ERR, "error prot [%s]\n", prot);
    return -1;
  }
  return 0;
}

// The port part of a session URL: none for the protocol's own default word, the number for the
// other protocol's default word, else the text as written.
std::string port_part(const conf_client_info &info) {
  const char *port = info.port;
  if (!*port) return {};
  const bool ssl = info.use_ssl != 0;
  if (strcmp(port, ssl ? kZmpsPortWord : kZmpPortWord) == 0) return {};
  if (strcmp(port, ssl ? kZmpPortWord : kZmpsPortWord) == 0)
    return std::string(":") + (ssl ? kZmpPortNumber : kZmpsPortNumber);
  return std::string(":") + port;
}

int build_zmp_url(const conf_client_info &info, char *out) {
  std::string url = info.use_ssl ? "zmps://" : "zmp://";
  if (*info.user) {
    url += info.user;
    if (*info.pwd) url.append(":").append(info.pwd);
    url += "@";
  }
  std::string host = info.ip;
  for (char &c : host)
    if (c == '_') c = ':';
  url += host.find(':') == std::string::npos ? host : "[" + host + "]";
  url += port_part(info);
  if (url.size() >= static_cast<size_t>(URL_TEXT_SIZE)) return -1;
  memcpy(out, url.c_str(), url.size() + 1);
  if (*info.proxy && url_set_query(out, "proxy", info.proxy, 1, URL_SET_ALWAYS) != 0) return -1;
  return 0;
}

// Opens the profile file; message (with the path as its one argument) is logged on failure.
conf_ptr open_profile(bool create, const char *message) {
  const std::string path = zm_conf_client_file();
  conf_ptr conf(create ? conf_create_load(path.c_str()) : conf_load(path.c_str()));
  if (!conf) ZLOG(LOG2_ERR, message, path.c_str());
  return conf;
}

}  // namespace

int conf_client_get_info(const char *name, conf_client_info *info) {
  if (!ZASSERT(name && info)) return -1;
  conf_ptr conf = open_profile(false, kLoadFailed);
  if (!conf) return -1;
  return read_info(conf.get(), name, info);
}

int conf_client_set_info(const char *, const conf_client_info *info) {
  if (!ZASSERT(info)) return -1;
  if (info->kind != CONF_CLIENT_ZMP && info->kind != CONF_CLIENT_NET) {
    ZLOG(LOG2_ERR, "cc->prot=%d error\n", static_cast<int>(info->kind));
    return -1;
  }
  if (!ZASSERT(info->name[0])) return -1;
  conf_ptr conf = open_profile(true, "conf_create_load [%s] fail\n");
  if (!conf) return -1;
  const std::string section = section_of(info->name);
  const char *sec = section.c_str();
  conf_handle *h = conf.get();
  if (info->kind == CONF_CLIENT_NET) {
    if (conf_set_string(h, sec, "prot", "net") != 0) return -1;
    return conf_save(h);
  }
  char use_ssl[4];
  snprintf(use_ssl, sizeof use_ssl, "%d", info->use_ssl);
  const struct {
    const char *key;
    const char *value;
  } fields[] = {{"prot", "zmp"},       {"ip", info->ip},     {"use_ssl", use_ssl},
                {"port", info->port},  {"user", info->user}, {"pwd", info->pwd},
                {"bs", info->bs},      {"fmod", info->fmod}, {"dmod", info->dmod},
                {"proxy", info->proxy}};
  for (const auto &f : fields)
    if (conf_set_string(h, sec, f.key, f.value) != 0) return -1;
  return conf_save(h);
}

int conf_client_get_url(const char *name, char *out) {
  if (!ZASSERT(out)) return -1;
  out[0] = '\0';
  if (!name || !*name) return 0;
  conf_client_info info;
  info_wipe wipe{&info};
  if (conf_client_get_info(name, &info) != 0) {
    ZLOG(LOG2_ERR, "url [%s] get failed\n", name);
    return -1;
  }
  switch (info.kind) {
    case CONF_CLIENT_ZMP:
      if (build_zmp_url(info, out) != 0) {
        out[0] = '\0';
        ZLOG(LOG2_ERR, "url [%s] get failed\n", name);
        return -1;
      }
      return 0;
    case CONF_CLIENT_NET:
      snprintf(out, URL_TEXT_SIZE, "net://%s", info.name);
      return 0;
    default:
      snprintf(out, URL_TEXT_SIZE, "loc://");
      return 0;
  }
}

int conf_walk_item(conf_walk_fn callback, void *arg) {
  if (!ZASSERT(callback)) return -1;
  conf_ptr conf = open_profile(true, kLoadFailed);
  if (!conf) return -1;
  conf_handle *h = conf.get();
  if (conf_set_string(h, "session/localhost", "prot", "loc") != 0 ||
      conf_set_string(h, "session/network", "prot", "net") != 0 || conf_save(h) != 0)
    ZLOG(LOG2_WARN, "conf_save [%s] fail\n", zm_conf_client_file().c_str());
  const size_t prefix = strlen(kSessionPrefix);
  for (const std::string &section : conf_sections(h, "session/*")) {
    const std::string name = section.substr(prefix);
    if (name == kQuickConnection) continue;
    conf_client_info info;
    info_wipe wipe{&info};
    if (read_info(h, name.c_str(), &info) != 0) continue;
    callback(arg, name.c_str(), info.kind);
  }
  return 0;
}

int conf_client_is_exist(const char *name) {
  if (!ZASSERT(name)) return -1;
  conf_ptr conf = open_profile(false, "conf_load [%s] failed\n");
  if (!conf) return -1;
  return conf_has_section(conf.get(), section_of(name).c_str());
}

int conf_client_del(const char *name) {
  if (!ZASSERT(name)) return -1;
  conf_ptr conf = open_profile(false, kLoadFailed);
  if (!conf) return -1;
  conf_del_section(conf.get(), section_of(name).c_str());
  return conf_save(conf.get());
}

int conf_client_copy_move(const char *from, const char *to) {
  if (!ZASSERT(from && to)) return -1;
  conf_ptr conf = open_profile(false, kLoadFailed);
  if (!conf) return -1;
  if (conf_rename_section(conf.get(), section_of(from).c_str(), section_of(to).c_str()) != 0)
    return -1;
  return conf_save(conf.get());
}

int url_conf_2_real(const char *url, char *out) {
  if (!ZASSERT(url && out)) return -1;
  char copy[URL_TEXT_SIZE];
  snprintf(copy, sizeof copy, "%s", url);
  url_normalize(copy);
  out[0] = '\0';
  if (strncmp(copy, "///", 3) != 0) {
    memcpy(out, copy, strlen(copy) + 1);
    return 0;
  }
  const std::string after(copy + 3);
  const size_t slash = after.find('/');
  const std::string name = after.substr(0, slash);
  std::string rest = slash == std::string::npos ? std::string() : after.substr(slash);
  if (conf_client_get_url(name.c_str(), out) != 0) return -1;
  if (str_has_prefix_nocase(out, "loc://")) out[0] = '\0';
  const size_t mark = rest.find('?');
  if (mark != std::string::npos) {
    const std::string query = rest.substr(mark + 1);
    rest.resize(mark);
    if (!query.empty() && url_add_query(out, query.c_str()) != 0) {
      out[0] = '\0';
      return -1;
    }
  }
  if (url_append_path(out, rest.c_str()) != 0) {
    out[0] = '\0';
    return -1;
  }
  url_normalize(out);
  return 0;
}

int url_conf_2_real_inplace(char *url) {
  if (!ZASSERT(url)) return -1;
  char real[URL_TEXT_SIZE];
  if (url_conf_2_real(url, real) != 0) return -1;
  memcpy(url, real, strlen(real) + 1);
  return 0;
}
