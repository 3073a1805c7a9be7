#!/usr/bin/env bash
# The framework's floors, from the bottom up: a file includes files of its own floor and of
# the floors below it, never one above, nor the layers above the framework. Outside the
# simulated back ends, nothing includes a simulator header. Lists the framework's files by
# floor, prints every include that runs against that, and fails if there is any.
# Usage: scripts/include_floors.sh [source folder, by default this repository's src]
set -euo pipefail
src=${1:-$(cd "$(dirname "$0")/.." && pwd)/src}
cd "$src"

# A floor a line: its name, then its files, as paths under framework/ without .hpp or .cpp.
floors='
base exceptions rtti_set events exception_guard messages font thread platform_access sysutils
base registry graphics/geometry graphics/colors graphics/graphics_error
rtti rtti rtti_types rtti_prop rtti_class rtti_builder form_lexer graphics/color_idents
classes classes
graphics graphics/bits graphics/bmp graphics/byte_reader graphics/dib_codec graphics/ico
graphics graphics/region graphics/surface graphics/font_brush graphics/graphic graphics/canvas
graphics graphics/canvas_text graphics/icon graphics/bitmap graphics/image_list graphics/picture
components components form_reader form_writer
messages message_loop timer shell
controls controls image
forms forms menus message_box regions
application application application_icon app_slots
calls window_calls
'

files=$(find framework -name '*.[ch]pp' | LC_ALL=C sort)
# Every include of every source: path:line:#include "..."
includes=$(find . -name '*.[ch]pp' | sed 's|^\./||' | LC_ALL=C sort |
    xargs grep -Hn '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' || true)

awk -v floors="$floors" -v files="$files" '
function stem(path) {
    sub(/^framework\//, "", path)
    sub(/\.[ch]pp$/, "", path)
    return path
}
BEGIN {
    n = split(floors, lines, "\n")
    for (i = 1; i <= n; i++) {
        if (split(lines[i], w, " ") == 0) continue
        if (!(w[1] in number)) {
            number[w[1]] = ++count
            name[count] = w[1]
        }
        for (j = 2; j in w; j++) floor_of[w[j]] = number[w[1]]
        delete w
    }
    n = split(files, list, "\n")
    for (i = 1; i <= n; i++) {
        if (list[i] == "") continue
        s = stem(list[i])
        if (s in floor_of)
            members[floor_of[s]] = members[floor_of[s]] " " substr(list[i], 11)
        else
            against[++bad] = list[i] ": on no floor"
    }
    for (i = 1; i <= count; i++) printf "%d %s:%s\n", i, name[i], members[i]
}
{
    split($0, p, ":")
    file = p[1]
    match($0, /"[^"]*"/)
    included = substr($0, RSTART + 1, RLENGTH - 2)
    where = file ":" p[2] ": includes " included
    base = file
    sub(/.*\//, "", base)
    if (included ~ /(^|\/)sim_[^\/]*$/ && base !~ /^sim_/)
        against[++bad] = where ", a simulator header"
    if (file !~ /^framework\//) next
    if (included ~ /^(audio|skin|tray|app)\//) {
        against[++bad] = where ", a layer above the framework"
        next
    }
    if (included !~ /^framework\//) next
    from = stem(file)
    to = stem(included)
    if ((from in floor_of) && (to in floor_of) && floor_of[to] > floor_of[from])
        against[++bad] = where ", on floor " name[floor_of[to]] " above " name[floor_of[from]]
}
END {
    for (i = 1; i <= bad; i++) print against[i]
    printf "%d against the floors\n", bad
    exit bad > 0
}' <<<"$includes"
