// TLS client channel: one process-wide client configuration, and per connection a TLS 1.2
// handshake over an already connected socket channel whose reads and writes then pass through
// TLS. The server certificate is not verified: TLS encrypts the link, the login authenticates.
#pragma once

#include "net.h"
#include "pal_verr.h"

struct ssl_cli_conf;  // entropy, random generator and the TLS settings, shared by all sessions
struct ssl_cli_conn;  // one TLS session over one channel

// Builds the client configuration; null after logging why. Freed with ssl_cli_conf_free.
[[nodiscard]] ssl_cli_conf *ssl_cli_conf_new();
void ssl_cli_conf_free(ssl_cli_conf *conf);

// Runs the handshake on the connected socket channel (each transfer bounded by the channel's
// time-out) and installs ssl_recv_proc/ssl_send_proc as its hooks, with the connection in its
// ssl field. cipher "aes_256_ecb" (any case) offers only TLS-RSA-WITH-AES-256-CBC-SHA; any other
// value, null or empty, the library's default list. Null on failure, with the reason in err
// (may be null).
[[nodiscard]] ssl_cli_conn *ssl_cli_connect(ssl_cli_conf *conf, net_sock *chan, const char *cipher,
                                            verr_info *err = nullptr);

// Sends close-notify, detaches the hooks from the channel and frees the connection; the channel
// itself stays open for its owner to close. Null is ignored.
void ssl_cli_close(ssl_cli_conn *conn);

// Negotiated protocol and suite names, e.g. "TLSv1.2" and "TLS-RSA-WITH-AES-256-CBC-SHA".
const char *ssl_cli_get_version(const ssl_cli_conn *conn);
const char *ssl_cli_get_ciphersuite(const ssl_cli_conn *conn);

// The channel hooks: all n bytes, or fewer once the channel's time-out has passed or the peer
// closed; -1 when TLS or the socket failed.
[[nodiscard]] int ssl_send_proc(net_sock *chan, const void *buf, int n);
[[nodiscard]] int ssl_recv_proc(net_sock *chan, void *buf, int n);
