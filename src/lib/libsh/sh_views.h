// Helpers of the library's views that tests check on their own. Private to the shell library.
#pragma once

#include <cstdint>
#include <string>

// A duration as "[N day(s) ]hh:mm:ss"; whole days only when there is at least one.
std::string sh_duration_text(uint64_t ms);
