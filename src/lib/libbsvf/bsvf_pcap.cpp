// The capture file of log records: a little-endian pcap file, one packet per record, trimmed
// to its newest half at a packet boundary when it reaches the log file's size limit. Opening
// stays silent (the log file writer holds its lock then); writing logs its problems.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bsv_bytes.h"
#include "bsvf.h"
#include "pal_log.h"

static const char kLogTag[] = "bsv";

namespace {

constexpr uint32_t kMagic = 0xa1b2c3d4;
constexpr size_t kRecordTimeSize = 12;  // sec u64 and usec u32 become the packet time
constexpr uint32_t kSnapLen = 65536;

struct file_closer {
  void operator()(FILE *f) const { (void)fclose(f); }  // each write was flushed and checked
};
using file_ptr = std::unique_ptr<FILE, file_closer>;

void make_head(uint8_t *head) {
  bsv_put_uint(head, kMagic, 4, false);
  bsv_put_uint(head + 4, 2, 2, false);  // version 2.4
  bsv_put_uint(head + 6, 4, 2, false);
  bsv_put_uint(head + 8, 0, 4, false);  // time zone
  bsv_put_uint(head + 12, 0, 4, false);  // accuracy
  bsv_put_uint(head + 16, kSnapLen, 4, false);
  bsv_put_uint(head + 20, BSVF_PCAP_LINKTYPE, 4, false);
}

bool write_all(FILE *f, const void *data, size_t len) { return fwrite(data, 1, len, f) == len; }

bool write_head(FILE *f) {
  uint8_t head[BSVF_PCAP_HEAD_SIZE];
  make_head(head);
  return write_all(f, head, sizeof head) && fflush(f) == 0;
}

// An existing file we may append to: our own header, whatever packets follow.
bool is_our_capture(FILE *f) {
  uint8_t head[BSVF_PCAP_HEAD_SIZE];
  uint8_t want[BSVF_PCAP_HEAD_SIZE];
  make_head(want);
  return fseek(f, 0, SEEK_SET) == 0 && fread(head, 1, sizeof head, f) == sizeof head &&
         memcmp(head, want, sizeof head) == 0;
}

long file_size(FILE *f) { return fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1; }

}  // namespace

struct bsvf_pcap {
  std::mutex lock;
  std::string path;
  file_ptr stream;  // guarded by lock; empty after a failed reopen
};

namespace {

bool reopen_with_head(bsvf_pcap *pcap) {
  pcap->stream.reset(fopen(pcap->path.c_str(), "wb+"));
  return pcap->stream && write_head(pcap->stream.get());
}

// Keeps the global header and the packets that start at or after half the limit.
void pcap_dump_set_fsize(bsvf_pcap *pcap, long max_size) {
  FILE *f = pcap->stream.get();
  const long fsize = file_size(f);
  if (fsize < 0) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "ftell error: ");
    return;
  }
  if (fsize < max_size) return;
  std::vector<uint8_t> whole(static_cast<size_t>(fsize));
  if (fseek(f, 0, SEEK_SET) != 0 || fread(whole.data(), 1, whole.size(), f) != whole.size()) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "fread error: ");
    return;
  }
  size_t offset = BSVF_PCAP_HEAD_SIZE;
  while (offset < static_cast<size_t>(max_size / 2) && offset + BSVF_PCAP_PACKET_HEAD_SIZE <= whole.size())
    offset += BSVF_PCAP_PACKET_HEAD_SIZE + bsv_get_uint(&whole[offset + 8], 4, false);
  bool broken = offset > whole.size();
  if (broken) ZLOG(LOG2_ERR, "file error offset=%d fsize=%d\n", static_cast<int>(offset), static_cast<int>(fsize));
  pcap->stream.reset(fopen(pcap->path.c_str(), "wb+"));
  if (!pcap->stream) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "fopen error: ");
    return;
  }
  // A damaged packet chain cannot be cut safely: the file starts over with its header.
  const size_t keep = broken ? 0 : whole.size() - offset;
  if (!write_all(pcap->stream.get(), whole.data(), BSVF_PCAP_HEAD_SIZE) ||
      !write_all(pcap->stream.get(), whole.data() + offset, keep))
    ZLOG(LOG2_ERR | LOG2_ERRNO, "pcap %s rewrite error: ", pcap->path.c_str());
}

}  // namespace

bsvf_pcap *bsvf_pcap_open(const char *path, bool append) {
  if (!path || !*path) {
    errno = EINVAL;
    return nullptr;
  }
  auto pcap = std::make_unique<bsvf_pcap>();
  pcap->path = path;
  if (append) {
    pcap->stream.reset(fopen(path, "ab+"));
    if (!pcap->stream) return nullptr;
    const long size = file_size(pcap->stream.get());
    if (size == 0 && write_head(pcap->stream.get())) return pcap.release();
    if (size > 0 && is_our_capture(pcap->stream.get())) return pcap.release();
  }
  if (!reopen_with_head(pcap.get())) return nullptr;
  return pcap.release();
}

int bsvf_pcap_write(bsvf_pcap *pcap, const void *record, size_t len, long max_size) {
  if (!pcap || !record || len < kRecordTimeSize) return -1;
  const auto *r = static_cast<const uint8_t *>(record);
  uint8_t head[BSVF_PCAP_PACKET_HEAD_SIZE];
  bsv_put_uint(head, bsv_get_uint(r, 4, false), 4, false);  // low 32 bits of sec
  bsv_put_uint(head + 4, bsv_get_uint(r + 8, 4, false), 4, false);
  bsv_put_uint(head + 8, len - kRecordTimeSize, 4, false);
  bsv_put_uint(head + 12, len - kRecordTimeSize, 4, false);

  std::lock_guard<std::mutex> guard(pcap->lock);
  // Like the text log: a file deleted under us is created anew rather than written unseen.
  if (access(pcap->path.c_str(), F_OK) != 0 && !reopen_with_head(pcap)) pcap->stream.reset();
  if (!pcap->stream) pcap->stream.reset(fopen(pcap->path.c_str(), "ab+"));  // after a failed trim
  FILE *f = pcap->stream.get();
  if (!f) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "fopen error: ");
    return -1;
  }
  // Appending positions by itself; a "wb+" stream may stand anywhere after trimming.
  const bool written = fseek(f, 0, SEEK_END) == 0 && write_all(f, head, sizeof head) &&
                       write_all(f, r + kRecordTimeSize, len - kRecordTimeSize) && fflush(f) == 0;
  if (!written) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "pcap %s write error: ", pcap->path.c_str());
    return -1;
  }
  pcap_dump_set_fsize(pcap, max_size);
  if (pcap->stream && fflush(pcap->stream.get()) != 0) {
    ZLOG(LOG2_ERR | LOG2_ERRNO, "pcap %s flush error: ", pcap->path.c_str());
    return -1;
  }
  return pcap->stream ? 0 : -1;
}

// Every write is flushed, so closing has nothing left to lose; it stays silent like opening.
void bsvf_pcap_close(bsvf_pcap *pcap) { delete pcap; }
