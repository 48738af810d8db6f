// The secret holder: one heap block of exactly the text's size, wiped before it is freed, so a
// password lives in memory only as long as its owner does.
#include <cstring>
#include <new>

#include "libpwd.h"
#include "secret_wipe.h"

pwd_secret::pwd_secret(pwd_secret &&other) noexcept : text_(other.text_), len_(other.len_) {
  other.text_ = nullptr;
  other.len_ = 0;
}

pwd_secret &pwd_secret::operator=(pwd_secret &&other) noexcept {
  if (this != &other) {
    clear();
    text_ = other.text_;
    len_ = other.len_;
    other.text_ = nullptr;
    other.len_ = 0;
  }
  return *this;
}

bool pwd_secret::assign(const char *text) {
  clear();
  if (!text) return true;
  const size_t len = strnlen(text, PWD_TEXT_SIZE - 1);
  if (len == 0) return true;
  text_ = new (std::nothrow) char[len + 1];
  if (!text_) return false;
  memcpy(text_, text, len);
  text_[len] = '\0';
  len_ = len;
  return true;
}

void pwd_secret::clear() {
  if (!text_) return;
  secret_wipe(text_, len_ + 1);
  delete[] text_;
  text_ = nullptr;
  len_ = 0;
}
