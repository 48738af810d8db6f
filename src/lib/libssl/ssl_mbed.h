// What the TLS channel's sources share: the mbed TLS headers of either major version, owners
// that pair each context's init with its free, and the records behind the opaque handles.
// Every mbed TLS context here is initialised in place and never moved (they point at each other).
#pragma once

#if __has_include(<mbedtls/build_info.h>)
#include <mbedtls/build_info.h>  // 3.x
#else
#include <mbedtls/config.h>  // 2.x
#endif
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/ssl.h>
#include <mbedtls/version.h>

#include <mutex>

#include "ssl_cli.h"

// An mbed TLS context whose lifetime is this object's.
template <typename T, void (*Init)(T *), void (*Free)(T *)>
class mbed_owner {
 public:
  mbed_owner() { Init(&value_); }
  ~mbed_owner() { Free(&value_); }
  mbed_owner(const mbed_owner &) = delete;
  mbed_owner &operator=(const mbed_owner &) = delete;
  T *get() { return &value_; }
  const T *get() const { return &value_; }

 private:
  T value_;
};

using entropy_owner = mbed_owner<mbedtls_entropy_context, mbedtls_entropy_init, mbedtls_entropy_free>;
using drbg_owner = mbed_owner<mbedtls_ctr_drbg_context, mbedtls_ctr_drbg_init, mbedtls_ctr_drbg_free>;
using ssl_config_owner = mbed_owner<mbedtls_ssl_config, mbedtls_ssl_config_init, mbedtls_ssl_config_free>;
using ssl_context_owner = mbed_owner<mbedtls_ssl_context, mbedtls_ssl_init, mbedtls_ssl_free>;

// Two TLS settings that differ only in their suite list, so that a connect never rewrites
// settings that another session's handshake may be reading.
struct ssl_cli_conf {
  // Members are destroyed in reverse: the settings before the generator they use, the
  // generator before its entropy source.
  entropy_owner entropy;
  drbg_owner drbg;
  std::mutex drbg_lock;  // guards drbg: sessions of different threads draw from it
  ssl_config_owner default_suites;
  ssl_config_owner forced_suite;
};

struct ssl_cli_conn {
  ssl_context_owner ssl;
  net_sock *chan;  // the channel whose raw socket carries the records
  bool write_stalled = false;  // a write timed out with part of a record still unsent
  // Received but not yet taken by the library, which asks for each record's 5-byte header and
  // its body apart: one receive into here usually serves a body and the next header.
  unsigned char ahead[32768];
  size_t ahead_pos = 0;
  size_t ahead_len = 0;
};

inline constexpr int SSL_FORCED_SUITE = 0x0035;  // TLS-RSA-WITH-AES-256-CBC-SHA
inline constexpr int SSL_ERROR_TEXT_SIZE = 512;

// The one mapping from an mbed TLS error code onto a status code.
verrno ssl_status_of(int mbed_code);
// The library's description of an error code, at most SSL_ERROR_TEXT_SIZE - 1 characters.
void ssl_error_text(int mbed_code, char (&text)[SSL_ERROR_TEXT_SIZE]);
