// The corruptions of hostile mode, applied to a finished response frame: "ZM", version, command,
// then the container header and its attributes. The noise word picks every detail, so a seed
// replays the same damage.
#include "hostile_reply.h"

#include <lz4.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "wire_message.h"

namespace peer {
namespace {

constexpr size_t kFrameHead = 4;  // magic, version, command; the container header follows
constexpr size_t kMessageAt = kFrameHead + 4;
constexpr uint32_t kMaxRaw = 0xffffff;
constexpr uint32_t kExtended = 0x80000000u;

uint64_t splitmix64(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

uint64_t reply_word(const HostilePlan &plan, uint64_t number) {
  return splitmix64(plan.seed ^ splitmix64(number));
}

size_t pad4(size_t n) { return (n + 3) & ~size_t{3}; }

// Offsets of the attributes of a sound frame.
std::vector<size_t> attribute_offsets(const std::vector<uint8_t> &frame) {
  std::vector<size_t> at;
  const size_t end = std::min(frame.size(), kFrameHead + (get_be32(frame.data() + kFrameHead) & kMaxRaw));
  for (size_t p = kMessageAt; p + 8 <= end;) {
    const size_t raw = get_be32(frame.data() + p) & kMaxRaw;
    if (raw < 4) break;
    at.push_back(p);
    p += pad4(raw);
  }
  return at;
}

void set_raw_len(uint8_t *attr, uint32_t raw) {
  put_be32(attr, (get_be32(attr) & ~kMaxRaw) | (raw & kMaxRaw));
}

void break_attribute(std::vector<uint8_t> &f, size_t at, uint64_t noise) {
  uint8_t *a = f.data() + at;
  const uint32_t head = get_be32(a);
  const uint32_t raw = head & kMaxRaw;
  const size_t name_len = size_t(a[4]) << 8 | a[5];
  const uint32_t type = head >> 24 & 0x7f;
  switch (noise % 7) {
    case 0:  // a type id above the last one
      put_be32(a, (head & (kExtended | kMaxRaw)) | uint32_t(9 + (noise >> 8) % 119) << 24);
      break;
    case 1:  // a length running past the end of the message
      set_raw_len(a, uint32_t(std::min<size_t>(kMaxRaw, f.size() - at + 4 + (noise >> 8) % 64)));
      break;
    case 2:  // the largest length there is
      set_raw_len(a, kMaxRaw);
      break;
    case 3:  // shorter than its own header
      set_raw_len(a, uint32_t((noise >> 8) % 4));
      break;
    case 4:  // a name longer than the attribute
      a[4] = 0xff;
      a[5] = 0xff;
      break;
    case 5:  // the name's terminator overwritten
      a[6 + name_len] = 'x';
      break;
    default:  // a value that breaks its type's rule
      if (type == uint32_t(FieldType::string))
        a[raw - 1] = 'x';
      else if (type == uint32_t(FieldType::int32) || type == uint32_t(FieldType::int64))
        set_raw_len(a, raw - 2);
      else
        put_be32(a, (head & ~0x7f000000u) | uint32_t(FieldType::int32) << 24);
      break;
  }
}

Tampered broken_attribute(const std::vector<uint8_t> &frame, uint64_t noise) {
  Tampered t{Corruption::bad_attribute, frame, false};
  const std::vector<size_t> at = attribute_offsets(frame);
  if (!at.empty()) break_attribute(t.bytes, at[(noise >> 32) % at.size()], noise);
  return t;
}

// Payload bytes of the codec that unpack to n bytes.
std::vector<uint8_t> packed_of_size(Codec codec, size_t n) {
  std::vector<uint8_t> plain(n, codec == Codec::none ? 'Z' : 0);
  if (codec == Codec::none) return plain;
  std::vector<uint8_t> packed(static_cast<size_t>(LZ4_compressBound(int(n))));
  const int got = LZ4_compress_default(reinterpret_cast<const char *>(plain.data()),
                                       reinterpret_cast<char *>(packed.data()), int(n), int(packed.size()));
  packed.resize(got > 0 ? size_t(got) : 0);
  return packed;
}

// The same reply with its "data" field replaced by one that unpacks past the request's room;
// false when the reply carries no "data".
bool overflow_data(const ReplyToTamper &r, uint64_t noise, std::vector<uint8_t> &out) {
  const std::vector<uint8_t> &f = *r.frame;
  const size_t raw = get_be32(f.data() + kFrameHead) & kMaxRaw;
  MessageFields fields;
  std::string error;
  if (raw < 4 || !fields.parse(f.data() + kMessageAt, raw - 4, error) || !fields.binary("data")) return false;
  MessageWriter msg;
  for (const std::string &name : fields.order()) {
    const Field &v = fields.all().at(name);
    if (name == "data") continue;
    if (v.type == FieldType::string)
      msg.add_string(name, *fields.text(name));
    else if (v.type == FieldType::int32)
      msg.add_i32(name, *fields.i32(name));
    else if (v.type == FieldType::int64)
      msg.add_i64(name, *fields.i64(name));
    else
      msg.add_binary(name, v.data, v.len);
  }
  const size_t room = std::min<size_t>(r.room, 0x800000);
  const std::vector<uint8_t> data = packed_of_size(r.codec, room + 1 + noise % 4096);
  msg.add_binary("data", data.data(), data.size());
  out.assign(f.begin(), f.begin() + kFrameHead);
  out.insert(out.end(), msg.bytes().begin(), msg.bytes().end());
  return true;
}

}  // namespace

const char *corruption_name(Corruption kind) {
  static const char *const kNames[] = {"none",           "truncated",     "bad_magic",
                                       "length_beyond",  "length_huge",   "bad_attribute",
                                       "binary_overflow", "stale_reply",  "doubled_reply",
                                       "close_mid_frame"};
  static_assert(sizeof kNames / sizeof kNames[0] == size_t(Corruption::count));
  return kNames[size_t(kind) < size_t(Corruption::count) ? size_t(kind) : 0];
}

Corruption pick_corruption(const HostilePlan &plan, uint64_t number) {
  const uint64_t w = reply_word(plan, number);
  if (int(w % 100) >= plan.percent) return Corruption::none;
  return Corruption(1 + (w / 100) % (uint64_t(Corruption::count) - 1));
}

uint64_t reply_noise(const HostilePlan &plan, uint64_t number) { return splitmix64(reply_word(plan, number)); }

Tampered tamper_reply(Corruption kind, const ReplyToTamper &r, uint64_t noise) {
  const std::vector<uint8_t> &f = *r.frame;
  Tampered t{kind, f, false};
  if (f.size() < kMessageAt) return t;
  switch (kind) {
    case Corruption::none:
    case Corruption::count:
      t.kind = Corruption::none;
      break;
    case Corruption::truncated:
    case Corruption::close_mid_frame:
      t.bytes.resize(1 + noise % (f.size() - 1));
      t.cut_link = kind == Corruption::close_mid_frame;
      break;
    case Corruption::bad_magic:
      t.bytes[noise & 1] ^= uint8_t(1 + (noise >> 1) % 255);
      break;
    case Corruption::length_beyond: {
      const size_t raw = get_be32(f.data() + kFrameHead) & kMaxRaw;
      put_be32(t.bytes.data() + kFrameHead,
               2u << 24 | uint32_t(std::min<size_t>(kMaxRaw, raw + 4 + noise % 65536)));
      break;
    }
    case Corruption::length_huge:
      put_be32(t.bytes.data() + kFrameHead,
               noise & 1 ? 0xfffffff0u | uint32_t(noise >> 1 & 0xf) : 2u << 24 | (kMaxRaw - uint32_t(noise >> 1 & 0xf)));
      break;
    case Corruption::bad_attribute:
      return broken_attribute(f, noise);
    case Corruption::binary_overflow:
      if (!overflow_data(r, noise, t.bytes)) return broken_attribute(f, noise);
      break;
    case Corruption::stale_reply:
      if (!r.previous || r.previous->empty()) return broken_attribute(f, noise);
      t.bytes = *r.previous;
      break;
    case Corruption::doubled_reply:
      t.bytes.insert(t.bytes.end(), f.begin(), f.end());
      break;
  }
  return t;
}

bool parse_hostile(const std::string &text, HostilePlan &out) {
  const char *p = text.c_str();
  if (!*p || *p == '-' || *p == '+') return false;
  char *end = nullptr;
  errno = 0;
  const unsigned long long seed = strtoull(p, &end, 10);
  if (errno || end == p) return false;
  long percent = 20;
  if (*end == ',') {
    const char *q = end + 1;
    if (*q < '0' || *q > '9') return false;
    percent = strtol(q, &end, 10);
    if (errno || percent > 100) return false;
  }
  if (*end) return false;
  out.seed = seed;
  out.percent = int(percent);
  return true;
}

}  // namespace peer
