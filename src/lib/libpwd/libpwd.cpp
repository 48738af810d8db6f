// The two login transforms. Intermediate digests are wiped before return; the log lines name the
// user and the certificate text but show a mask for the password and the key.
#include "libpwd.h"

#include <cstring>

#include "pal_log.h"
#include "pal_url.h"
#include "secret_wipe.h"
#include "sha1.h"

static const char kLogTag[] = "pwd";

namespace {

constexpr char kSha1Tag[] = "{SHA}";
constexpr char kKeyTag[] = "KOVEL";
constexpr int FALSE = 0;

void sha1_text(sha1_ctx *ctx, const char *text) {
  if (text) sha1_update(ctx, text, strlen(text));
}

}  // namespace

char *libpwd_pwd_sha(const char *password, char *out, size_t size) {
  if (!out || size == 0) return out;
  out[0] = '\0';
  if (!password || !*password) return out;

  uint8_t digest[SHA1_DIGEST_SIZE];
  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_text(&ctx, password);
  sha1_final(&ctx, digest);

  char b64[40];
  const int n = str_base64_encode(digest, sizeof digest, b64, sizeof b64);
  secret_wipe(digest, sizeof digest);
  const bool fits = n == 28 && size >= sizeof kSha1Tag + 28;
  if (ZASSERT(fits)) {
    memcpy(out, kSha1Tag, sizeof kSha1Tag - 1);
    memcpy(out + sizeof kSha1Tag - 1, b64, 28);
    out[sizeof kSha1Tag - 1 + 28] = '\0';
  }
  secret_wipe(b64, sizeof b64);
  return out;
}

int libpwd_build_key(const char *user, const char *password, int32_t ver, const char *cert,
                     char *out, size_t size) {
  (void)ver;
  ZLOG(LOG2_VERB, "user=[%s] pwd=[%s] cert=[%s]\n", user ? user : "", PWD_LOG_MASK,
       cert ? cert : "");
  const int ret = out && size >= PWD_KEY_SIZE;
  if (!ZASSERT(ret != FALSE)) {
    if (out && size > 0) out[0] = '\0';
    return -1;
  }

  sha1_ctx ctx;
  sha1_init(&ctx);
  sha1_update(&ctx, kKeyTag, sizeof kKeyTag - 1);
  sha1_text(&ctx, user);
  sha1_text(&ctx, password);
  sha1_text(&ctx, cert);
  uint8_t digest[SHA1_DIGEST_SIZE];
  sha1_final(&ctx, digest);

  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < SHA1_DIGEST_SIZE; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0f];
  }
  out[2 * SHA1_DIGEST_SIZE] = '\0';
  secret_wipe(digest, sizeof digest);
  ZLOG(LOG2_VERB, "lkey=[%s]\n", PWD_LOG_MASK);
  return 0;
}
