// Line reading and raw writing on a shell channel. Private to the shell server.
#pragma once

#include <cstddef>

#include "debug_shell.h"

// One line into out (size bytes, terminated), its line feed kept: the length, 0 when nothing
// came (an interrupted read), -1 at end of input or on a read error. A line longer than
// size - 1 is cut and the rest of it up to its line feed dropped.
int dbg_channel_read_line(dbg_channel *channel, char *out, size_t size);
// All len bytes; len, or -1.
int dbg_channel_write(dbg_channel *channel, const char *data, size_t len);
// Closes a NET or PIPE descriptor; the standard descriptors of STDIO stay open.
void dbg_channel_close(dbg_channel *channel);
