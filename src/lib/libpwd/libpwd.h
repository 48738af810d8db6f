// Login credentials of the remote-service login: the "{SHA}" password digest, the login key, and
// the one type in which passwords and keys are kept. Pure functions; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int PWD_TEXT_SIZE = 4096;  // user names, passwords and digests of the callers
inline constexpr int PWD_KEY_SIZE = 41;     // 40 hexadecimal digits and a NUL

// What a log line shows in place of a password, key or other secret.
inline constexpr char PWD_LOG_MASK[] = "***";

// A password or login key. Its bytes are wiped whenever it is replaced or released, it cannot be
// copied by accident (move only), and it holds at most PWD_TEXT_SIZE - 1 characters, like the
// text buffers it replaces. Log lines print PWD_LOG_MASK, never reveal().
class pwd_secret {
 public:
  pwd_secret() = default;
  explicit pwd_secret(const char *text) { assign(text); }
  pwd_secret(pwd_secret &&other) noexcept;
  pwd_secret &operator=(pwd_secret &&other) noexcept;
  pwd_secret(const pwd_secret &) = delete;
  pwd_secret &operator=(const pwd_secret &) = delete;
  ~pwd_secret() { clear(); }

  // Copies text (null taken as empty), cut to PWD_TEXT_SIZE - 1 characters. Returns false, with
  // the secret left empty, when memory runs out.
  bool assign(const char *text);
  void clear();
  // The plain text, for the digest and the wire only; "" when empty.
  [[nodiscard]] const char *reveal() const { return text_ ? text_ : ""; }
  [[nodiscard]] bool empty() const { return len_ == 0; }
  [[nodiscard]] size_t size() const { return len_; }

 private:
  char *text_ = nullptr;
  size_t len_ = 0;
};

// Writes "" for an empty password, else "{SHA}" and the Base64 text of the password's SHA-1
// (33 characters). An output of fewer than 34 bytes is a caller error: logged as an assertion,
// the output is left empty. Returns out.
char *libpwd_pwd_sha(const char *password, char *out, size_t size);

// Writes the login key: the SHA-1 over "KOVEL", the user, the password and the certificate text,
// as 40 lower-case hexadecimal digits. ver (from the same server reply) does not enter the key.
// Returns 0, or -1 with an empty key when size is below PWD_KEY_SIZE.
int libpwd_build_key(const char *user, const char *password, int32_t ver, const char *cert,
                     char *out, size_t size);
