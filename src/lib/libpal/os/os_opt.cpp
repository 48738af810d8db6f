// The -s settings table: "key=val" arguments are kept as pending texts in their row until the
// framework applies them after the configuration file was read; "list" prints the keys.
#include <strings.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pal_env.h"
#include "pal_log.h"
#include "pal_os.h"

static const char kLogTag[] = "pal";

namespace {

constexpr size_t kPartMax = 255;

os_opt_kv *find_row(os_opt_kv *table, const char *key) {
  for (os_opt_kv *row = table; row->key; ++row) {
    if (strcasecmp(row->key, key) == 0) return row;
  }
  return nullptr;
}

int decimal_int(const char *text) {
  const long value = strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

int os_opt_kv_get(os_opt_kv *table, const char *arg) {
  if (!table || !arg) return -1;
  if (strcmp(arg, "list") == 0) {
    fprintf(stderr, "support the following key settings\n");
    for (const os_opt_kv *row = table; row->key; ++row) fprintf(stderr, "%s\n", row->key);
    exit(0);
  }
  const char *eq = strchr(arg, '=');
  if (!eq) {
    ZLOG(LOG2_ERR, "%s syntax error Example: k=v\n", arg);
    return -1;
  }
  char key[kPartMax + 1];
  char value[kPartMax + 1];
  snprintf(key, sizeof key, "%.*s", static_cast<int>(eq - arg), arg);
  snprintf(value, sizeof value, "%s", eq + 1);
  os_opt_kv *row = find_row(table, key);
  if (!row) {
    ZLOG(LOG2_ERR, "unsupported key [%s]\n", key);
    return -1;
  }
  char *copy = os_strdup(value);
  if (!copy) return -1;
  os_free(row->pending);
  row->pending = copy;
  return 0;
}

void os_opt_kv_apply(os_opt_kv *table) {
  if (!table) return;
  for (os_opt_kv *row = table; row->key; ++row) {
    if (!row->pending) continue;
    if (row->target && row->type == OS_OPT_TYPE_INT) {
      *static_cast<int *>(row->target) = decimal_int(row->pending);
    } else if (row->target) {
      // The previous text is the target owner's (often a literal default), so it is left alone.
      *static_cast<char **>(row->target) = os_strdup(row->pending);
    }
    os_free(row->pending);
    row->pending = nullptr;
  }
}
