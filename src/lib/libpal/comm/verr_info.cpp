// The error record a callee fills for its caller: source location, code and a bounded text.
// Every write is cut to the fixed text field; a null record is accepted and left alone.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "pal_verr.h"

namespace {

// The formatted part stops at 4094 characters; only the appended detail may use the last byte.
constexpr size_t kFormatLimit = VERR_TEXT_SIZE - 1;

void store_location(verr_info *info, const char *file, int line, const char *func, int32_t code) {
  info->file = file;
  info->func = func;
  info->line = line;
  info->code = code;
}

void fill_record(verr_info *info, const char *file, int line, const char *func, int32_t code,
                 const char *fmt, va_list ap) {
  store_location(info, file, line, func, code);
  info->text[0] = '\0';
  if (fmt) vsnprintf(info->text, kFormatLimit, fmt, ap);
}

}  // namespace

void verr_info_set(verr_info *info, const char *file, int line, const char *func, int32_t code,
                   const char *fmt, ...) {
  if (!info) return;
  va_list ap;
  va_start(ap, fmt);
  fill_record(info, file, line, func, code, fmt, ap);
  va_end(ap);
}

void verr_info_set_os(verr_info *info, const char *file, int line, const char *func, int32_t code,
                      const char *detail, const char *fmt, ...) {
  if (!info) return;
  va_list ap;
  va_start(ap, fmt);
  fill_record(info, file, line, func, code, fmt, ap);
  va_end(ap);
  const size_t used = strlen(info->text);
  snprintf(info->text + used, sizeof info->text - used, ": %s", detail ? detail : "");
}

const char *verr_info_text(const verr_info *info) {
  if (!info) return verr2str(VERR_INVALID_PARAMETER);
  return info->text[0] ? info->text : verr2str(info->code);
}

void verr_info_copy(verr_info *dst, const verr_info *src) {
  if (!dst || !src || dst == src) return;
  store_location(dst, src->file, src->line, src->func, src->code);
  snprintf(dst->text, sizeof dst->text, "%s", src->text);
}
