// The channel under the framing layer: read n bytes waiting up to the time-out (the count read,
// fewer on time-out or close, negative on failure) and write n bytes (negative on failure).
// A plain descriptor until the socket layer's channel replaces it.
#pragma once

struct sd_chan {
  int fd;       // a connected stream socket, -1 when none
  int timeout;  // milliseconds, for every read and write
};

[[nodiscard]] int sd_chan_read(sd_chan *chan, void *buf, int n);
[[nodiscard]] int sd_chan_write(sd_chan *chan, const void *buf, int n);
