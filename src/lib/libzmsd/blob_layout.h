// Bit fields and offsets of the attribute header and the name header, shared by the builder,
// the parser and the accessors of this library.
#pragma once

#include <cstdint>

inline constexpr uint32_t BLOB_EXTENDED = 0x80000000;
inline constexpr uint32_t BLOB_ID_MASK = 0x7f000000;
inline constexpr int BLOB_ID_SHIFT = 24;
inline constexpr uint32_t BLOB_ID_MAX = BLOB_ID_MASK >> BLOB_ID_SHIFT;
inline constexpr uint32_t BLOBMSG_NAME_OFFSET = 6;  // after the header and the 2-byte name length

inline constexpr uint32_t blob_align(uint32_t n) { return (n + 3) & ~uint32_t(3); }
// Name header: 2-byte length, the name, its NUL, zero bytes up to a multiple of 4.
inline constexpr uint32_t blobmsg_hdrlen(uint32_t name_len) { return blob_align(2 + name_len + 1); }

static_assert(blobmsg_hdrlen(0) == 4 && blobmsg_hdrlen(2) == 8 && blobmsg_hdrlen(4) == 8);
static_assert(blobmsg_hdrlen(5) == 8 && blobmsg_hdrlen(6) == 12);
