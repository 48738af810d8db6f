// Server information (command 4): "key=[value]" lines read by the client between the first
// "[" and the last "]".
#include <sys/utsname.h>
#include <unistd.h>

#include "handlers.h"

namespace peer {

void handle_info(Connection &c, const Request &rq, Reply &rp) {
  std::string param;
  if (!need_text(rq, rp, "param", param)) return;
  utsname uts{};
  const char *arch = uname(&uts) == 0 ? uts.machine : "unknown";
  const bool little = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  const PeerOptions &o = c.server.options;
  std::string info;
  info += "ver=[" + o.ver + "]\n";
  info += "plat=[" + o.plat + "]\n";
  info += std::string("arch=[") + arch + "]\n";
  info += "bit=[" + std::to_string(sizeof(void *) * 8) + "]\n";
  info += std::string("order=[") + (little ? "little" : "big") + "]\n";
  info += std::string("is_root=[") + (geteuid() == 0 ? "1" : "0") + "]\n";
  info += std::string("readonly=[") + (o.readonly ? "1" : "0") + "]\n";
  rp.fields().add_string("info", info);
}

}  // namespace peer
