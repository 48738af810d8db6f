// A scripted FTP server on 127.0.0.1 for the driver's protocol tests: it logs in any user
// (or refuses a chosen password), answers from handlers the test installs per command verb,
// offers passive data connections and records every command line it receives.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedFtp {
 public:
  // One control connection as a handler sees it.
  struct Session {
    int fd = -1;
    int data_listen = -1;                        // after PASV
    void reply(const std::string &lines) const;  // "\r\n" appended
    int accept_data();                           // the data connection of the last PASV, or -1
  };
  // Gets the command's argument (text after the verb and its blank).
  using Handler = std::function<void(Session &, const std::string &arg)>;

  ScriptedFtp();
  ~ScriptedFtp();
  ScriptedFtp(const ScriptedFtp &) = delete;
  ScriptedFtp &operator=(const ScriptedFtp &) = delete;

  int port() const { return port_; }
  std::string url(const std::string &userinfo = "", const std::string &path = "/") const;
  void on(const std::string &verb, Handler handler);
  void refuse_password(const std::string &password) { bad_password_ = password; }
  void set_features(const std::string &lines) { features_ = lines; }

  std::vector<std::string> commands() const;  // every line received, in order
  int logins() const { return logins_; }
  // Serves a file body on the data connection of the last PASV (RETR from an offset).
  static void send_data(Session &s, const std::string &body);
  static std::string receive_data(Session &s);

 private:
  void accept_loop();
  void serve(int fd);

  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> logins_{0};
  std::string bad_password_;
  std::string features_ =
      "211-Features:\r\n MLST type*;size*;modify*;\r\n SIZE\r\n REST STREAM\r\n211 End";
  mutable std::mutex lock_;
  std::map<std::string, Handler> handlers_;  // guarded by lock_
  std::vector<std::string> commands_;        // guarded by lock_
  std::vector<std::thread> sessions_;        // guarded by lock_
  std::thread acceptor_;
};
