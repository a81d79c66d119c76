#!/bin/sh
# Only the interface leaves a library: the data objects it exports are members of its classes
# (statics, vtables, type information), never bare globals of its own.
set -eu
for lib in "$@"; do
   bare=$(nm -D --defined-only -C "$lib" | awk '$2 ~ /^[BDGRSVu]$/ {
      name = substr($0, index($0, $3))
      if (name !~ /::/ && name !~ /^(typeinfo|vtable|VTT|construction vtable|__odr_asan)/) print name }')
   if [ -n "$bare" ]; then
      echo "$lib exports bare globals:" "$bare" >&2
      exit 1
   fi
done
