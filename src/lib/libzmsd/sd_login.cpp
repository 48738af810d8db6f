// The login: a probe that tells whether the server wants one, then the simple login (command 1,
// a password digest) for servers whose frames say version 1, else the key login (commands 90 and
// 91, a key over the server's challenge). The plain password never travels and is never logged.
#include <cstdio>

#include "pal_log.h"
#include "sd_session.h"
#include "secret_wipe.h"

static const char kLogTag[] = "sdcli";

namespace {

enum : int {
  CMD_SIMPLE_LOGIN = 1,
  CMD_KEY_LOGIN1 = 90,
  CMD_KEY_LOGIN2 = 91,
};

constexpr char kProbeUser[] = ":";
constexpr int kLoginRequired = 1;  // the probe's server error number when a login is needed
constexpr uint32_t kKeyLoginVer = 1;

const blobmsg_policy kSimpleLoginPolicy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                             {"errno_str", BLOBMSG_TYPE_STRING},
                                             {"os_type", BLOBMSG_TYPE_INT32}};
const blobmsg_policy kKeyLogin1Policy[] = {{"errno", BLOBMSG_TYPE_INT32},
                                           {"errno_str", BLOBMSG_TYPE_STRING},
                                           {"ver", BLOBMSG_TYPE_INT32},
                                           {"cert", BLOBMSG_TYPE_STRING}};

// The response of a login request: receive, parse, keep the server's error.
int login_response(zmsd_session *s, const blobmsg_policy *policy, int count,
                   const blob_attr **table) {
  int length = 0;
  const int status = client_recv_response(s, &length);
  if (status != SD_OK) {
    ZLOG(LOG2_ERR, "client_recv_response ret=%d error: %s\n", status, sd_status_name(status));
    return status;
  }
  ZLOG(LOG2_VERB, "client_recv_response len=%d\n", length);
  const int parsed = sd_parse(s, policy, count, table);
  ZLOG(LOG2_VERB, "blobmsg_parse ret=%d\n", parsed);
  return parsed != SD_OK ? parsed : zmsd_take_server_status(&s->link, table);
}

}  // namespace

int cli_init1(zmsd_session *s, const char *user, const char *password) {
  char digest[PWD_TEXT_SIZE];
  libpwd_pwd_sha(password, digest, sizeof digest);
  blob_buf *b = &s->link.build;
  const bool built = blob_buf_init(b, BLOB_MSG_ID) == 0 &&
                     blobmsg_add_string(b, "user", user) == 0 &&
                     blobmsg_add_string(b, "passwd", digest) == 0;
  secret_wipe(digest, sizeof digest);
  if (!built) return SD_MEMORY_ERROR;
  int status = sd_send(s, CMD_SIMPLE_LOGIN);
  if (status != SD_OK) return status;

  // "os_type" is optional: a failed login carries none, and then the last known type stays.
  const blob_attr *table[3] = {};
  status = login_response(s, kSimpleLoginPolicy, 2, table);
  if (status == SD_OK &&
      blobmsg_parse(&kSimpleLoginPolicy[2], 1, &table[2], sd_response_data(&s->link),
                    sd_response_data_len(&s->link)) == 0 &&
      table[2])
    s->os_type = int32_t(blobmsg_get_u32(table[2]));
  return status;
}

namespace {

// Step 2 of the key login: the key over the challenge.
int cli_init3(zmsd_session *s) {
  blob_buf *b = &s->link.build;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 ||
      blobmsg_add_string(b, "lkey", s->login_key.reveal()) != 0)
    return SD_MEMORY_ERROR;
  const int status = sd_send(s, CMD_KEY_LOGIN2);
  ZLOG(LOG2_VERB, "client_send_reqest ret=%d\n", status);
  if (status != SD_OK) return status;
  const blob_attr *table[2] = {};
  return login_response(s, kSdStatusPolicy, 2, table);
}

}  // namespace

int cli_init2(zmsd_session *s, const char *user, const char *password) {
  blob_buf *b = &s->link.build;
  if (blob_buf_init(b, BLOB_MSG_ID) != 0 || blobmsg_add_string(b, "user", user) != 0 ||
      blobmsg_add_u32(b, "ver", kKeyLoginVer) != 0)
    return SD_MEMORY_ERROR;
  int status = sd_send(s, CMD_KEY_LOGIN1);
  ZLOG(LOG2_VERB, "client_send_reqest ret=%d\n", status);
  if (status != SD_OK) return status;
  const blob_attr *table[4] = {};
  status = login_response(s, kKeyLogin1Policy, 4, table);
  if (status != SD_OK) return status;

  char cert[SD_CERT_MAX + 1];
  snprintf(cert, sizeof cert, "%s", blobmsg_get_string(table[3]));
  char key[PWD_KEY_SIZE];
  const int32_t ver = int32_t(blobmsg_get_u32(table[2]));
  const bool built =
      libpwd_build_key(user, password, ver, cert, key, sizeof key) == 0 && s->login_key.assign(key);
  secret_wipe(key, sizeof key);
  return built ? cli_init3(s) : SD_MEMORY_ERROR;
}

int cli_init(zmsd_session *s, const char *user, const char *password) {
  const int probe = cli_init1(s, kProbeUser, "");
  if (probe != SD_SRV_ERROR) return probe;
  if (s->link.srv_errno != kLoginRequired) return SD_SRV_ERROR;
  return s->link.srv_frame_ver == 1 ? cli_init1(s, user, password) : cli_init2(s, user, password);
}
