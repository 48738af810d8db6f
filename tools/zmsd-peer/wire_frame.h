// Frames around blob messages: "ZM", a version byte, a command byte, then the message whose
// container header gives the length. Requests must carry version 1 and container id 2.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "peer_link.h"
#include "wire_message.h"

namespace peer {

struct Request;
struct PeerServer;

// 1 with a request (its `malformed` text set when the message inside a sound frame is bad),
// 0 when the client closed between requests, -1 with `error` for a broken frame (bad magic,
// version or container header: the connection cannot be trusted after that).
int read_request(Link &link, Request &rq, std::string &error);
std::vector<uint8_t> response_frame(uint8_t version, uint8_t command, const MessageWriter &msg);

void serve_connection(PeerServer &server, std::unique_ptr<Link> link);

}  // namespace peer
