// Version texts as clients compare them: up to four dot-separated decimal numbers of 16 bits,
// a missing field counting 0; more than four, or a first field of 0 or not a number, is 0.
// The peer refuses commands its own "ver" would not admit, so a client's gates get checked.
#pragma once

#include <cstdint>
#include <string>

namespace peer {

uint64_t version_number(const std::string &text);

// The lowest server version that admits `command` (server control `code` for command 8);
// 0 when every version does.
uint64_t version_needed(int command, int32_t code);

}  // namespace peer
