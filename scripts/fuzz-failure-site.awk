# Reads a sanitizer or libFuzzer report (a replayed finding's output) and prints where it failed:
#   "libhdf5 <function>"  the first frame outside the sanitizer runtime, libFuzzer and libc is
#                         inside libhdf5 ("<function> (callee)" when that frame has no symbol
#                         and is named by its nearest named libhdf5 caller);
#   "ours <frame>"        that frame is anywhere else (our code, the harness, libstdc++ ...);
#   "none"                the report holds no stack (the replay did not fail).
# Used by run-fuzz.sh; what counts as a finding is decided there.
function report(verdict) { print verdict; found = 1; exit }
/^ *#[0-9]+ 0x/ {
  if ($0 ~ /fuzzer::|__sanitizer|__asan|__ubsan|__interceptor_/) next
  if ($0 ~ /libc\.so|ld-linux| (sysdeps|stdlib|nptl|string|signal|malloc)\//) next
  if ($0 ~ / in (malloc|calloc|realloc|free|_?_?(mem|str)[a-z0-9_]*) /) next
  frame = $0
  sub(/^ *#[0-9]+ 0x[0-9a-f]+ +(in )?/, "", frame)
  sub(/ \(BuildId.*/, "", frame)
  if ($0 !~ /libhdf5/) report(unnamed != "" ? "libhdf5 " unnamed : "ours " frame)
  if (frame ~ /^\(/) {  # a static function without symbol: named by its caller
    if (unnamed == "") { unnamed = frame; sub(/^\(.*\//, "", unnamed); sub(/\).*/, "", unnamed) }
    next
  }
  sub(/ .*/, "", frame)
  report("libhdf5 " frame (unnamed != "" ? " (callee)" : ""))
}
END { if (!found) print "none" }
