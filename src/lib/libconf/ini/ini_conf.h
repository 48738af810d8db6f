// The INI back end of the configuration store: files named "*.ini" or "*.zmi".
#pragma once

#include "../conf_backend.h"

extern const conf_backend ini_conf_backend;
