// TLS for the peer's "zmps" port: one server configuration (certificate and key from files,
// the library's default suites, which include TLS-RSA-WITH-AES-256-CBC-SHA for an RSA key) and
// a Link that runs each accepted socket through a server-side handshake.
#pragma once

#include <memory>
#include <string>

#include "peer_link.h"

namespace peer {

class TlsServer {
 public:
  // Null with `error` filled when the files cannot be loaded.
  static std::unique_ptr<TlsServer> create(const std::string &cert_file, const std::string &key_file,
                                           std::string &error);
  ~TlsServer();
  // Handshakes on the accepted socket (owned from here on); null after logging a failure.
  std::unique_ptr<Link> accept(int fd);

  struct State;

 private:
  TlsServer();
  std::unique_ptr<State> state_;
};

}  // namespace peer
