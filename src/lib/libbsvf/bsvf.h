// Structured records leaving the process: the datagram that carries one record to a collector
// over UDP (CRC-8, optionally RC4-scrambled), the collector itself with its "bsvnet" opening
// thread, the log call's record hook and the pcap capture file. Only bsv and libpal lie below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bsv.h"

// CRC-8: polynomial 0x07, initial value 0, no reflection, no final XOR ("123456789" gives 0xF4).
uint8_t bsvf_crc8(const void *data, size_t len);
// RC4 over data in place with a fresh state for every call.
void bsvf_rc4(const uint8_t *key, size_t key_len, void *data, size_t len);
// The key that scrambled datagrams use; a collector needs the same.
inline constexpr uint8_t BSVF_SCRAMBLE_KEY[16] = {0x7a, 0x6d, 0x75, 0x65, 0x2d, 0x62, 0x73, 0x76,
                                                  0x9c, 0x41, 0xe3, 0x5b, 0x08, 0xd7, 0x26, 0xf1};

// --- datagram ---------------------------------------------------------------------------------------
// "bsv", flags, u16 total length, u16 type 5, then the type-5 block (origin fields, host name,
// the carried record) and one CRC-8 byte over everything from the flags on.
enum : uint8_t { BSVF_FLAG_BIG_ENDIAN = 0x01, BSVF_FLAG_CRC = 0x02, BSVF_FLAG_SCRAMBLED = 0x04 };
inline constexpr size_t BSVF_DGRAM_HEAD_SIZE = 8;
inline constexpr size_t BSVF_ORIGIN_SIZE = 34;  // fixed part of the type-5 block
inline constexpr size_t BSVF_DGRAM_MAX = 1472;  // one Ethernet payload, CRC byte included
inline constexpr int BSVF_ORIGIN_TYPE = 5;
inline constexpr size_t BSVF_HOSTNAME_MAX = 127;
inline constexpr size_t BSVF_HELD_MAX = 8192;  // a datagram kept while the collector opens

// Who sends: fixed for the process once read, except the version, which the program sets.
struct bsvf_origin {
  uint64_t sid;    // first interface's hardware address, 0 without one
  uint64_t bid;    // boot time in wall-clock seconds, 0 without an uptime
  uint64_t stime;  // process start in wall-clock seconds
  uint32_t ver_id;
  uint16_t app_id;
  uint8_t os_id;
  uint8_t arch_id;
  char hostname[BSVF_HOSTNAME_MAX + 1];
};
bsvf_origin bsvf_origin_get();
// "1.7.2.0" gives 0x01070200; the framework passes the program's version once at start.
void bsvf_set_app_ver(const char *version);
uint32_t bsvf_version_id(const char *version);
// Table lookups: program name to app_id (0 unknown), os and processor names to their ids.
uint16_t bsvf_app_id(const char *program);
uint8_t bsvf_os_id(const char *os);
uint8_t bsvf_arch_id(const char *cpu);

// Room for the carried record in a datagram of this process (host name and CRC byte taken off).
size_t bsvf_dgram_room();
// One finished datagram for record (of type type_id) in out: its total length, or -1 when it
// would reach BSVF_DGRAM_MAX or does not fit size.
[[nodiscard]] int bsvf_dgram_build(uint8_t *out, size_t size, const void *record, size_t len,
                                   uint16_t type_id, bool scramble);
// Receiver side: unscrambles in place, checks magic, version, CRC and length; the datagram's
// type, or -1 with the reason logged (tag "bsv").
[[nodiscard]] int bsvf_dgram_check(uint8_t *dgram, size_t len);

// --- collector --------------------------------------------------------------------------------------
// Configures the collector from a URL ("udp://host:port", "udps://..." scrambles; port 514 by
// default) and starts the "bsvnet" thread that opens the socket. 0, or -1 for a bad URL.
[[nodiscard]] int log_bsv_udp_open(const char *url);
// Sends one record as a datagram: held while the socket opens (the first one only), sent at once
// when open, dropped otherwise.
void bsvf_net_send(const void *record, size_t len, uint16_t type_id);
// Forgets the collector and closes its socket; waits briefly for a still-opening thread.
void bsvf_net_close();

// --- the log call's record hook -------------------------------------------------------------------
// Builds the type-1 record into out and, for level bits 0x400 or 0x800, sends it to the collector.
// Returns the record's length, or 0 for the tags "bsv" and "net" (the record paths log under
// them), which produce no record at all.
size_t bsv_log_write(uint32_t level_arg, const char *tag, const char *file, int line,
                     const char *func, const char *msg, bsv_log_record *out);

// --- capture file -----------------------------------------------------------------------------------
// A pcap file (version 2.4, little-endian, link type 146 + record type) of type-1 records: each
// packet is the record without its first 12 bytes, whose sec and usec become the packet time.
inline constexpr uint32_t BSVF_PCAP_LINKTYPE = 146 + BSV_LOG_TYPE;
inline constexpr size_t BSVF_PCAP_HEAD_SIZE = 24;
inline constexpr size_t BSVF_PCAP_PACKET_HEAD_SIZE = 16;

struct bsvf_pcap;
// Creates the file (header written at once) or appends to it (header only when it is empty; a
// file that is not such a capture is started anew). Logs nothing, since the log file writer
// calls it under its lock: null with errno set on failure.
bsvf_pcap *bsvf_pcap_open(const char *path, bool append);
// Adds one record, then trims the file to the newest half once it has reached max_size bytes,
// and flushes. 0, or -1 with the problem logged (tag "bsv"); thread-safe.
[[nodiscard]] int bsvf_pcap_write(bsvf_pcap *pcap, const void *record, size_t len, long max_size);
void bsvf_pcap_close(bsvf_pcap *pcap);
