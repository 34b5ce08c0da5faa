#!/bin/sh
# kovra-devices numbers the clip files after the test patterns, then Open File...; given the
# settings file, a file remembered from elsewhere comes before Open File...
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/config"
clips="$home/Videos/Kovra/Clips"
mkdir -p "$clips" "$home/else"
: >"$clips/b.mp4"
: >"$clips/a.png"
: >"$home/else/out side.png"
printf '[CAMERA]\nPATH1=file://%s/else/out%%20side.png\nPATH2=file://%s/a.png\n' "$home" "$clips" \
    >"$home/settings.ini"
# The lines after the last test pattern, numbered from it.
after_patterns() {
    awk '/ Test Pattern \(Ball\)$/ { base = $1; next }
         base != "" { n = $1; sub(/^[0-9]+ /, ""); print n - base, $0 }'
}
got=$("$1" | after_patterns)
[ "$got" = "$(printf '1 a.png\n2 b.mp4\n3 Open File...')" ] || { echo "plain: $got"; exit 1; }
got=$("$1" --settings "$home/settings.ini" | after_patterns)
[ "$got" = "$(printf '1 a.png\n2 b.mp4\n3 out side.png\n4 Open File...')" ] ||
    { echo "with --settings: $got"; exit 1; }
