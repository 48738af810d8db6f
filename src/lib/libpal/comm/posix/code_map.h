// A fixed translation table between two integer vocabularies (status codes and errno values),
// looked up by a linear scan: the tables are small and only read when a failure is reported.
#pragma once

#include <cstddef>

struct code_pair {
  int from;
  int to;
};

// The row for `from`, or null when the table does not hold it.
template <size_t N>
const code_pair *code_map_find(const code_pair (&table)[N], int from) {
  for (const code_pair &p : table) {
    if (p.from == from) return &p;
  }
  return nullptr;
}
