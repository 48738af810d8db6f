// Compression of "data" fields as chosen by file control 10001: "none" copies, "lz4" is one raw
// LZ4 block (no frame, no size prefix); the uncompressed length travels in "len".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wire_message.h"

namespace peer {

enum class Codec { none, lz4 };

// The codec of a name as the client announces it ("none", "lz4", in any letter case: a client
// that accepts only the exact spelling must find that out on its own side).
std::optional<Codec> codec_by_name(const std::string &name);

// Appends the "data" field holding `len` bytes of `src` in the codec's form.
void add_packed_data(MessageWriter &msg, Codec codec, const void *src, size_t len);
// Unpacks a received field into exactly `expected` bytes; false when it does not yield them.
[[nodiscard]] bool unpack_data(Codec codec, const Field &field, size_t expected, std::vector<uint8_t> &out);

}  // namespace peer
