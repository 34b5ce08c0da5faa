#!/bin/sh
# kovra-devices numbers the clip files after the test patterns, then Open File...; given the
# settings file, the files the cameras remember from elsewhere come before Open File...
set -eu
devices=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/config"
clips="$home/Videos/Kovra/Clips"
mkdir -p "$clips" "$home/else"
: >"$clips/b.mp4"
: >"$clips/a.png"
mkfifo "$clips/pipe.mp4"
: >"$home/else/out side.png"
printf '[CAMERA]\nPATH1=file://%s/else/out%%20side.png\nPATH2=file://%s/a.png\n' \
    "$home" "$clips" >"$home/settings.ini"

# The lines after the last test pattern, its own number taken away from theirs.
after_patterns() {
    awk '/ Test Pattern \(Ball\)$/ { base = $1; next }
         base != "" { n = $1; sub(/^[0-9]+ /, ""); print n - base, $0 }'
}

plain=$("$devices" | after_patterns)
expected=$(printf '1 a.png\n2 b.mp4\n3 Open File...')
[ "$plain" = "$expected" ] || { echo "without --settings: $plain"; exit 1; }

remembered=$("$devices" --settings "$home/settings.ini" | after_patterns)
expected=$(printf '1 a.png\n2 b.mp4\n3 out side.png\n4 Open File...')
[ "$remembered" = "$expected" ] || { echo "with --settings: $remembered"; exit 1; }
echo ok
