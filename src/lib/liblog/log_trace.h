// The log core's own trace print: it cannot log through itself while configuring or failing,
// so its diagnostics go plainly to standard error, and only when asked for (ZMDBGLOG or the
// configuration's "debug" key).
#pragma once

void log_trace_enable(bool on);
bool log_trace_enabled();
void log_trace(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
