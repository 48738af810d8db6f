// The record libraries report refusals at error level under the tag "bsv"; this reads those
// lines out of the platform library's log capture.
#pragma once

#include <string>

#include "log_capture.h"

inline std::string bsv_error_lines(const log_capture &log) {
  std::string text;
  for (const captured_line &line : log.all())
    if (line.tag == "bsv" && line.level == LOG2_ERR) text += line.text;
  return text;
}
