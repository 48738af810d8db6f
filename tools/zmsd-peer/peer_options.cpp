// getopt_long parsing of the peer's options; every value is checked here so that the server
// code can trust them.
#include "peer_options.h"

#include <getopt.h>
#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace peer {
namespace {

const char kUsage[] =
    "usage: zmsd-peer [options] DIR\n"
    "  -p, --port N            TCP port on 127.0.0.1 (0: pick a free one; default 0)\n"
    "  -P, --port-file FILE    write the port number to FILE once listening\n"
    "  -f, --frame-version N   frame version byte of responses, 1 or 2 (default 2)\n"
    "      --ver TEXT          \"ver\" of the server information (default 1.6.8)\n"
    "      --plat TEXT         \"plat\" of the server information (default linux)\n"
    "  -r, --readonly          refuse every change to the served directory\n"
    "  -u, --user USER:PASS    accept this login (repeatable; none: no login needed)\n"
    "      --tls-cert FILE     PEM certificate: serve TLS (needs --tls-key)\n"
    "      --tls-key FILE      PEM private key\n"
    "  -l, --request-log FILE  log every request (\"-\": standard error)\n"
    "      --drop-before N,..  cut the link when request N arrives, without executing it\n"
    "      --drop-after N,..   execute request N, keep its reply, then cut the link\n"
    "      --delay MS          wait MS milliseconds before every reply\n"
    "      --delay-at N,..     wait only before the replies to these requests\n"
    "      --ignore-stop       acknowledge stop requests but keep running (run status stays 1)\n"
    "      --context-keep S    seconds a retained context outlives its link (default 300)\n"
    "      --hostile SEED[,PCT] corrupt PCT percent of the replies (default 20), chosen from SEED\n"
    "      --stall-after N     answer the first N requests, then read on and answer nothing\n"
    "  -h, --help              this text\n";

bool to_long(const char *text, long lo, long hi, long &out) {
  char *end = nullptr;
  errno = 0;
  const long v = strtol(text, &end, 10);
  if (errno || end == text || *end || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool to_request_set(const char *text, std::set<uint64_t> &out) {
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    long n = 0;
    if (!to_long(item.c_str(), 1, LONG_MAX, n)) return false;
    out.insert(uint64_t(n));
  }
  return !out.empty();
}

enum LongOnly { kVer = 1000, kPlat, kTlsCert, kTlsKey, kDropBefore, kDropAfter, kDelay, kDelayAt, kKeep, kIgnoreStop,
                kHostile, kStallAfter };

int bad(const char *what, const char *value) {
  fprintf(stderr, "zmsd-peer: bad %s: %s\n%s", what, value ? value : "", kUsage);
  return 2;
}

}  // namespace

int parse_options(int argc, char **argv, PeerOptions &out) {
  static const option kLong[] = {
      {"port", required_argument, nullptr, 'p'},       {"port-file", required_argument, nullptr, 'P'},
      {"frame-version", required_argument, nullptr, 'f'}, {"ver", required_argument, nullptr, kVer},
      {"plat", required_argument, nullptr, kPlat},     {"readonly", no_argument, nullptr, 'r'},
      {"user", required_argument, nullptr, 'u'},       {"tls-cert", required_argument, nullptr, kTlsCert},
      {"tls-key", required_argument, nullptr, kTlsKey}, {"request-log", required_argument, nullptr, 'l'},
      {"drop-before", required_argument, nullptr, kDropBefore},
      {"drop-after", required_argument, nullptr, kDropAfter},
      {"delay", required_argument, nullptr, kDelay},   {"context-keep", required_argument, nullptr, kKeep},
      {"delay-at", required_argument, nullptr, kDelayAt},
      {"ignore-stop", no_argument, nullptr, kIgnoreStop},
      {"hostile", required_argument, nullptr, kHostile},
      {"stall-after", required_argument, nullptr, kStallAfter},
      {"help", no_argument, nullptr, 'h'},             {nullptr, 0, nullptr, 0}};
  optind = 1;
  int c;
  long n = 0;
  while ((c = getopt_long(argc, argv, "p:P:f:ru:l:h", kLong, nullptr)) != -1) {
    switch (c) {
      case 'p':
        if (!to_long(optarg, 0, 65535, n)) return bad("port", optarg);
        out.port = int(n);
        break;
      case 'P': out.port_file = optarg; break;
      case 'f':
        if (!to_long(optarg, 1, 2, n)) return bad("frame version", optarg);
        out.frame_version = int(n);
        break;
      case kVer: out.ver = optarg; break;
      case kPlat: out.plat = optarg; break;
      case 'r': out.readonly = true; break;
      case 'u': {
        const char *colon = strchr(optarg, ':');
        if (!colon || colon == optarg) return bad("user (USER:PASS)", optarg);
        out.users[std::string(optarg, size_t(colon - optarg))] = colon + 1;
        break;
      }
      case kTlsCert: out.tls_cert = optarg; break;
      case kTlsKey: out.tls_key = optarg; break;
      case 'l': out.request_log = optarg; break;
      case kDropBefore:
        if (!to_request_set(optarg, out.drop_before)) return bad("request list", optarg);
        break;
      case kDropAfter:
        if (!to_request_set(optarg, out.drop_after)) return bad("request list", optarg);
        break;
      case kDelay:
        if (!to_long(optarg, 0, 600000, n)) return bad("delay", optarg);
        out.delay_ms = int(n);
        break;
      case kDelayAt:
        if (!to_request_set(optarg, out.delay_at)) return bad("request list", optarg);
        break;
      case kKeep:
        if (!to_long(optarg, 0, 86400, n)) return bad("context keep time", optarg);
        out.context_keep_s = int(n);
        break;
      case kIgnoreStop: out.ignore_stop = true; break;
      case kHostile:
        if (!parse_hostile(optarg, out.hostile)) return bad("hostile plan (SEED[,PERCENT])", optarg);
        break;
      case kStallAfter:
        if (!to_long(optarg, 1, LONG_MAX, n)) return bad("request count", optarg);
        out.stall_after = uint64_t(n);
        break;
      case 'h': fputs(kUsage, stdout); return 1;
      default: fputs(kUsage, stderr); return 2;
    }
  }
  if (optind != argc - 1) return bad("arguments (one DIR expected)", optind < argc ? argv[optind] : "");
  char real[PATH_MAX];
  if (!realpath(argv[optind], real)) return bad("directory", argv[optind]);
  out.dir = real;
  if (out.tls_cert.empty() != out.tls_key.empty()) return bad("TLS setup (give both files)", "");
  return 0;
}

}  // namespace peer
