# Turns the "target figure value" lines of every round into the benchmark's tables: the median
# of each figure per target, and the ratios the goals are stated in (each ratio reads "times
# better": a rate over the reference rate, a reference time or CPU over this one), with the goal
# and whether it was met. Input: the results file; -v mb=MiB -v files=N; prints Markdown tables.

function median(key,    n, i, j, v, t) {
  n = count[key]
  if (n == 0) return ""
  for (i = 1; i <= n; ++i) v[i] = vals[key, i]
  for (i = 2; i <= n; ++i)
    for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
  return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
}

function fmt(x, kind) {
  if (x == "") return "–"
  if (kind == "ops") return sprintf("%.0f", x)
  if (kind == "time" || kind == "cpu") return sprintf("%.2f", x)
  return sprintf(x >= 100 ? "%.0f" : "%.1f", x)
}

# How many times better target a is than reference b on a figure of this kind.
function better(a, b, kind) {
  if (a == "" || b == "" || a + 0 <= 0 || b + 0 <= 0) return ""
  return kind == "rate" || kind == "ops" ? a / b : b / a
}

function cell(r, goal) {
  if (r == "") return "–"
  if (goal == "") return sprintf("%.2f", r)
  return sprintf("%.2f (≥ %s %s)", r, goal, r + 0 >= goal + 0 ? "met" : "MISSED")
}

function value(target, figure) { return median(target SUBSEP figure) }

function row(figure, label, kind, g_sshfs, g_tls, g_bind,    zmp, zmps, ssh, loc, bind) {
  zmp = value("zmp", figure); zmps = value("zmps", figure); ssh = value("sshfs", figure)
  loc = value("local", figure); bind = value("bindfs", figure)
  printf "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", label,
    fmt(value("raw", figure), kind), fmt(zmp, kind), fmt(zmps, kind), fmt(ssh, kind),
    fmt(loc, kind), fmt(bind, kind), cell(better(zmp, ssh, kind), g_sshfs),
    cell(better(zmps, zmp, kind), g_tls), cell(better(loc, bind, kind), g_bind)
}

{
  key = $1 SUBSEP $2
  vals[key, ++count[key]] = $3
}

END {
  print "| figure | raw | zmp:// | zmps:// | sshfs | local zmue | bindfs | zmp / sshfs | zmps / zmp | local / bindfs |"
  print "|---|---|---|---|---|---|---|---|---|---|"
  row("write_sync", "write " mb " MiB + fsync, MiB/s", "rate", 2, 0.7, 1)
  row("write_plain", "write " mb " MiB without fsync, MiB/s", "rate", "", 0.7, 1)
  row("cpu_client", "daemon CPU-s per 512 MiB written", "cpu", "", "", 1)
  row("cpu_server", "server CPU-s per 512 MiB written (peer, sshd + sftp-server)", "cpu", "", "", "")
  row("read_1m", "read " mb " MiB cold, 1 MiB reads, MiB/s", "rate", 3, 0.7, 1)
  row("read_4k", "read " mb " MiB cold, 4 KiB reads, MiB/s", "rate", 3, 0.7, 1)
  row("files_create", files " × 4 KiB files: create, ops/s", "ops", 1.5, "", 1)
  row("files_stat", files " × 4 KiB files: cold stat, ops/s", "ops", 1.5, "", 1)
  row("files_read", files " × 4 KiB files: read, ops/s", "ops", 1.5, "", 1)
  row("files_delete", files " × 4 KiB files: delete, ops/s", "ops", 1.5, "", 1)
  row("untar", "untar of the source tree (+ sync), s", "time", 2, "", 1)

  print ""
  print "| " mb " MiB copied in and out (cp) | zmp:// | sshfs | zmp / sshfs |"
  print "|---|---|---|---|"
  copy_row("copy_in", "copy in, MiB/s", "rate", "")
  copy_row("copy_out", "copy out (cold), MiB/s", "rate", "")
  copy_row("copy_cpu_client", "client CPU-s per GiB moved (zmue; sshfs + ssh)", "cpu", 2)
  zc = value("zmp", "copy_cpu_client"); zs = value("zmp", "copy_cpu_server")
  sc = value("sshfs", "copy_cpu_client"); ss = value("sshfs", "copy_cpu_server")
  zt = zc == "" ? "" : zc + zs; st = sc == "" ? "" : sc + ss
  printf "| client + server CPU-s per GiB moved | %s | %s | %s |\n", fmt(zt, "cpu"), fmt(st, "cpu"),
    cell(better(zt, st, "cpu"), 1)
  rss = value("zmp", "peak_rss")
  printf "| zmue peak RSS over both copies, MiB (goal ≤ 16) | %s | – | %s |\n", fmt(rss, "rate"),
    rss == "" ? "–" : (rss + 0 <= 16 ? "met" : "MISSED")

  print ""
  print "| compressible file (source tarball copies), zmp:// | lz4 | none | lz4 / none |"
  print "|---|---|---|---|"
  comp_row("comp_write", "write + fsync, MiB/s", "rate", 1)
  comp_row("comp_read", "read cold, 1 MiB reads, MiB/s", "rate", 1)
  comp_row("comp_wire", "bytes on the wire for both, MiB (fewer is better)", "cpu", 1)
  if (count["zmp" SUBSEP "comp_read_1g"] > 0) {
    comp_row("comp_write_1g", "write + fsync over loopback held to 1 Gbit/s, MiB/s", "rate", 1)
    comp_row("comp_read_1g", "read cold over loopback held to 1 Gbit/s, MiB/s", "rate", 1)
  }
}

function copy_row(figure, label, kind, goal,    z, s) {
  z = value("zmp", figure); s = value("sshfs", figure)
  printf "| %s | %s | %s | %s |\n", label, fmt(z, kind), fmt(s, kind), cell(better(z, s, kind), goal)
}

function comp_row(figure, label, kind, goal,    l, n) {
  l = value("zmp", figure); n = value("zmp_none", figure)
  printf "| %s | %s | %s | %s |\n", label, fmt(l, kind), fmt(n, kind), cell(better(l, n, kind), goal)
}
