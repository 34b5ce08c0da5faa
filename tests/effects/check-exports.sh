#!/bin/sh
# The effects library exports exactly its three calls, and needs OpenGL and GLU only
# (besides the C and C++ runtime).
set -eu
lib=$1
defined=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwiDdBbVvRr]$/ {print $3}' | sort)
expected=$(printf 'KOVRAEFF_Draw\nKOVRAEFF_Init\nKOVRAEFF_Reset\n')
if [ "$defined" != "$expected" ]; then
  echo "defined dynamic symbols differ from the three exports:"; echo "$defined"; exit 1
fi
needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "$needed" | grep -q '^libGLU\.' || { echo "GLU is not linked"; exit 1; }
echo "$needed" | grep -q -E '^lib(OpenGL|GL)\.' || { echo "OpenGL is not linked"; exit 1; }
# (a sanitizer build adds the sanitizers' runtimes)
others=$(echo "$needed" | grep -v -E '^lib(OpenGL|GL|GLU|c|m|stdc\+\+|gcc_s|asan|ubsan)\.so' || true)
if [ -n "$others" ]; then echo "unexpected libraries: $others"; exit 1; fi
echo "exports: $(echo $defined); needs: $(echo $needed)"
