// The process-wide TLS client configuration: entropy, a CTR-DRBG seeded with "zmsd_client",
// and client settings for TLS 1.2 over a stream without certificate checks.
// Built once when the client library starts; shared read-only by every session afterwards.
#include <memory>
#include <new>

#include "pal_log.h"
#include "ssl_mbed.h"

#if MBEDTLS_VERSION_NUMBER >= 0x03000000 && defined(MBEDTLS_PSA_CRYPTO_C)
#define SSL_NEEDS_PSA_INIT 1
#include <psa/crypto.h>
#endif

static const char kLogTag[] = "sslcli";

namespace {

const unsigned char kPersonalization[] = {'z', 'm', 's', 'd', '_', 'c', 'l', 'i', 'e', 'n', 't'};
const int kForcedSuiteList[] = {SSL_FORCED_SUITE, 0};

// The random callback of every session: the generator is shared between threads.
int locked_drbg_random(void *arg, unsigned char *out, size_t len) {
  auto *conf = static_cast<ssl_cli_conf *>(arg);
  std::lock_guard<std::mutex> hold(conf->drbg_lock);
  return mbedtls_ctr_drbg_random(conf->drbg.get(), out, len);
}

void pin_tls12(mbedtls_ssl_config *cfg) {
#if MBEDTLS_VERSION_NUMBER >= 0x03020000
  mbedtls_ssl_conf_min_tls_version(cfg, MBEDTLS_SSL_VERSION_TLS1_2);
  mbedtls_ssl_conf_max_tls_version(cfg, MBEDTLS_SSL_VERSION_TLS1_2);
#else
  mbedtls_ssl_conf_min_version(cfg, MBEDTLS_SSL_MAJOR_VERSION_3, MBEDTLS_SSL_MINOR_VERSION_3);
  mbedtls_ssl_conf_max_version(cfg, MBEDTLS_SSL_MAJOR_VERSION_3, MBEDTLS_SSL_MINOR_VERSION_3);
#endif
}

[[nodiscard]] bool setup_client(ssl_cli_conf *conf, mbedtls_ssl_config *cfg, const int *suites) {
  if (mbedtls_ssl_config_defaults(cfg, MBEDTLS_SSL_IS_CLIENT, MBEDTLS_SSL_TRANSPORT_STREAM,
                                  MBEDTLS_SSL_PRESET_DEFAULT) != 0) {
    ZLOG(LOG2_ERR, "mbedtls_ssl_config_defaults failed");
    return false;
  }
  pin_tls12(cfg);
  mbedtls_ssl_conf_ciphersuites(cfg, suites);
  mbedtls_ssl_conf_rng(cfg, locked_drbg_random, conf);
  mbedtls_ssl_conf_authmode(cfg, MBEDTLS_SSL_VERIFY_NONE);
  return true;
}

}  // namespace

ssl_cli_conf *ssl_cli_conf_new() {
#ifdef SSL_NEEDS_PSA_INIT
  // TLS in 3.x draws on the PSA crypto core, which must be up before the first handshake.
  if (psa_crypto_init() != PSA_SUCCESS) {
    ZLOG(LOG2_ERR, "psa_crypto_init failed");
    return nullptr;
  }
#endif
  std::unique_ptr<ssl_cli_conf> conf(new (std::nothrow) ssl_cli_conf);
  if (!conf) {
    ZLOG(LOG2_ERR, "out of memory");
    return nullptr;
  }
  if (mbedtls_ctr_drbg_seed(conf->drbg.get(), mbedtls_entropy_func, conf->entropy.get(),
                            kPersonalization, sizeof kPersonalization) != 0) {
    ZLOG(LOG2_ERR, "mbedtls_ctr_drbg_seed failed");
    return nullptr;
  }
  if (!setup_client(conf.get(), conf->default_suites.get(), mbedtls_ssl_list_ciphersuites()) ||
      !setup_client(conf.get(), conf->forced_suite.get(), kForcedSuiteList))
    return nullptr;
  return conf.release();
}

void ssl_cli_conf_free(ssl_cli_conf *conf) { delete conf; }
