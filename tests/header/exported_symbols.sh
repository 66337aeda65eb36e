#!/bin/sh
# Fails when a Morvex library defines a global symbol that is not part of
# its public interface: C symbols must be declared in the public headers,
# C++ symbols must live in the library's internal namespace.
#   exported_symbols.sh NM INCLUDE_DIR LIBRARY:NAMESPACE ...
set -u
nm_tool=$1 include=$2
shift 2
public=$(mktemp)
trap 'rm -f "$public"' EXIT
# Every identifier the public headers mention: declared names are among them.
cat "$include"/morvex.h "$include"/morvex/*.h | grep -oE '\b[A-Za-z_][A-Za-z0-9_]*\b' | sort -u >"$public"

status=0
for entry in "$@"; do
  lib=${entry%:*} ns=${entry##*:}
  [ -f "$lib" ] || { echo "missing library $lib"; status=1; continue; }
  # Strong definitions only: weak ones are inline and template code that
  # every translation unit may carry.
  "$nm_tool" -g --defined-only "$lib" 2>/dev/null | awk 'NF == 3 && $2 ~ /^[BDGRST]$/ {print $3}' |
    sort -u | while read -r sym; do
      case $sym in
        __odr_asan*|__asan*|__ubsan*|__sancov*) ;;   # sanitizer instrumentation
        _Z*)
          plain=$(echo "$sym" | c++filt)
          case $plain in
            "$ns"::*) ;;
            *) echo "$(basename "$lib"): C++ symbol outside namespace $ns: $plain" ;;
          esac ;;
        mv*)
          grep -qx "$sym" "$public" ||
            echo "$(basename "$lib"): C symbol not in the public headers: $sym" ;;
        *) echo "$(basename "$lib"): C symbol without the library's prefix: $sym" ;;
      esac
    done >>"$public.bad"
done
if [ -s "$public.bad" ]; then
  cat "$public.bad"
  status=1
fi
rm -f "$public.bad"
[ $status = 0 ] && echo "exported symbols: only public names and internal namespaces"
exit $status
