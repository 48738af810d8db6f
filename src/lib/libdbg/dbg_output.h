// The print and end-of-reply functions that a shell context gets from the server.
// Private to the shell server; dbgout_write_imp is in debug_shell.h.
#pragma once

int dbgout_print(void *channel, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
int dbgout_end_reply(void *channel);
