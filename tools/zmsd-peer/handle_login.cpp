// Logins: the probe (user ":", empty digest) tells whether a login is needed (errno 1) or not
// (errno 0); frame version 1 then takes the simple login (command 1), any other the key login
// (commands 90 and 91 with a fresh challenge). Each peer accepts only the login its frame
// version selects, so a client that picks the wrong one is caught.
#include "credentials.h"
#include "handlers.h"
#include "pal_verr.h"

namespace peer {
namespace {

const char kLoginFailed[] = "user or password error";

void logged_in(Connection &c, Reply &rp) {
  c.logged_in = true;
  rp.fields().add_i32("os_type", c.server.options.plat == "windows" ? 1 : 2);
}

const std::string *password_of(const Connection &c, const std::string &user) {
  auto it = c.server.options.users.find(user);
  return it == c.server.options.users.end() ? nullptr : &it->second;
}

}  // namespace

void handle_login(Connection &c, const Request &rq, Reply &rp) {
  std::string user, digest;
  if (!need_text(rq, rp, "user", user) || !need_text(rq, rp, "passwd", digest)) return;
  const bool open_share = c.server.options.users.empty();
  if (open_share) return logged_in(c, rp);
  if (user == ":" && digest.empty()) return rp.fail(1, "login required");
  if (c.server.options.frame_version != 1)
    return rp.fail(VERR_AUTHENTICATION_FAILURE, "this server takes the key login (commands 90, 91)");
  const std::string *password = password_of(c, user);
  if (!password || password_digest(*password) != digest) return rp.fail(VERR_AUTHENTICATION_FAILURE, kLoginFailed);
  logged_in(c, rp);
}

void handle_key_login1(Connection &c, const Request &rq, Reply &rp) {
  if (c.server.options.frame_version == 1) return rp.fail(VERR_NOT_SUPPORTED, "unknown command 90");
  std::string user;
  int32_t ver = 0;
  if (!need_text(rq, rp, "user", user) || !need_i32(rq, rp, "ver", ver)) return;
  c.key_user = user;
  c.challenge = new_challenge();
  rp.fields().add_i32("ver", 1);
  rp.fields().add_string("cert", c.challenge);
}

void handle_key_login2(Connection &c, const Request &rq, Reply &rp) {
  if (c.server.options.frame_version == 1) return rp.fail(VERR_NOT_SUPPORTED, "unknown command 91");
  std::string lkey;
  if (!need_text(rq, rp, "lkey", lkey)) return;
  if (c.challenge.empty()) return rp.fail(VERR_AUTHENTICATION_FAILURE, "key login without challenge (command 90 first)");
  const std::string challenge = c.challenge;
  c.challenge.clear();  // one answer per challenge
  if (c.server.options.users.empty()) {
    c.logged_in = true;
    return;
  }
  const std::string *password = password_of(c, c.key_user);
  if (!password || login_key(c.key_user, *password, challenge) != lkey) return rp.fail(VERR_AUTHENTICATION_FAILURE, kLoginFailed);
  c.logged_in = true;
}

}  // namespace peer
