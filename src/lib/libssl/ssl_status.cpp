// mbed TLS error codes as status codes and texts: the one place where a library code becomes
// a verrno. Codes that exist in only one major version are listed under their own guard.
#include <mbedtls/error.h>
#include <mbedtls/net_sockets.h>

#include "ssl_mbed.h"

namespace {

struct mbed_status {
  int mbed_code;
  verrno status;
};

const mbed_status kMbedStatus[] = {
    {MBEDTLS_ERR_SSL_TIMEOUT, VERR_TIMEOUT},
    {MBEDTLS_ERR_SSL_WANT_READ, VERR_TIMEOUT},
    {MBEDTLS_ERR_SSL_WANT_WRITE, VERR_TIMEOUT},
    {MBEDTLS_ERR_SSL_CONN_EOF, VERR_NET_SHUTDOWN},
    {MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY, VERR_NET_SHUTDOWN},
    {MBEDTLS_ERR_NET_CONN_RESET, VERR_NET_CONNECTION_RESET},
    {MBEDTLS_ERR_NET_RECV_FAILED, VERR_NET_IO_ERROR},
    {MBEDTLS_ERR_NET_SEND_FAILED, VERR_NET_IO_ERROR},
    {MBEDTLS_ERR_SSL_ALLOC_FAILED, VERR_NO_MEMORY},
    {MBEDTLS_ERR_SSL_BAD_INPUT_DATA, VERR_INVALID_PARAMETER},
    {MBEDTLS_ERR_SSL_FATAL_ALERT_MESSAGE, VERR_NET_PROTOCOL_ERROR},
#ifdef MBEDTLS_ERR_SSL_NO_CIPHER_CHOSEN
    {MBEDTLS_ERR_SSL_NO_CIPHER_CHOSEN, VERR_NOT_SUPPORTED},
#endif
#ifdef MBEDTLS_ERR_SSL_HANDSHAKE_FAILURE
    {MBEDTLS_ERR_SSL_HANDSHAKE_FAILURE, VERR_NET_PROTOCOL_ERROR},
#endif
#ifdef MBEDTLS_ERR_SSL_BAD_HS_PROTOCOL_VERSION
    {MBEDTLS_ERR_SSL_BAD_HS_PROTOCOL_VERSION, VERR_NOT_SUPPORTED},
#endif
#ifdef MBEDTLS_ERR_SSL_BAD_PROTOCOL_VERSION
    {MBEDTLS_ERR_SSL_BAD_PROTOCOL_VERSION, VERR_NOT_SUPPORTED},
#endif
};

}  // namespace

verrno ssl_status_of(int mbed_code) {
  if (mbed_code == 0) return VERR_SUCCESS;
  for (const mbed_status &row : kMbedStatus)
    if (row.mbed_code == mbed_code) return row.status;
  return VERR_NET_PROTOCOL_ERROR;  // any other failure of the TLS exchange itself
}

void ssl_error_text(int mbed_code, char (&text)[SSL_ERROR_TEXT_SIZE]) {
  mbedtls_strerror(mbed_code, text, sizeof text);
}
