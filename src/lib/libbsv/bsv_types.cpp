// The table of record types: each id names a descriptor and the byte order of its integers.
// Type 1 is the log record, type 5 the header block of a datagram; 2 and 6 are their
// big-endian twins, 3 a log record with processor fields.
#include "bsv.h"
#include "pal_log.h"

static const char kLogTag[] = "bsv";

namespace {

constexpr char kLogDesc[] = "sec-u64,usec-u32,pid-u32,tid-u32,level-u8,tag|tid_name|file|line|func|msg-str";
constexpr char kLogCpuDesc[] =
    "sec-u64,usec-u32,pid-u32,tid-u32,cpu_num-u16,irql-u8,level-u8,tag|tid_name|file|line|func|msg-str";
constexpr char kOriginDesc[] =
    "sid-u64,bid-u64,stime-u64,ver_id-u32,app_id-u16,os_id-u8,arch_id-u8,type_id-u16,hostname|data-str";

struct record_type {
  int id;
  const char *desc;
  bool big_endian;
};

constexpr record_type kRecordTypes[] = {
    {1, kLogDesc, false},     {2, kLogDesc, true},     {3, kLogCpuDesc, false},
    {5, kOriginDesc, false}, {6, kOriginDesc, true},
};

const record_type *find(int type_id) {
  for (const record_type &t : kRecordTypes)
    if (t.id == type_id) return &t;
  return nullptr;
}

}  // namespace

const char *bsv_type_desc(int type_id) {
  const record_type *t = find(type_id);
  return t ? t->desc : nullptr;
}

int bsv_value_init_type(bsv_value *value, int type_id) {
  const record_type *t = find(type_id);
  if (!t) {
    ZLOG(LOG2_ERR, "type=%d error: not found\n", type_id);
    return -1;
  }
  return bsv_value_init(value, t->desc, t->big_endian);
}
