#!/bin/sh
# Draws docs/map.png from the command line's own output: 100,000 places drawn
# by population (--weight population) beside 100,000 drawn with every ZIP
# code alike, each on the lower 48 states with Alaska, Hawaii and Puerto Rico
# in insets. The seed is fixed, so the same program and data make the same
# picture. Needs gnuplot (Debian: gnuplot-nox).
# Usage: tools/make-map.sh [PROGRAM [OUTPUT]]  (default: build/orvelle, docs/map.png)
set -eu
cd "$(dirname "$0")/.."
program=${1:-build/orvelle}
output=${2:-docs/map.png}
command -v gnuplot >/dev/null || { echo "$0: needs gnuplot (Debian: apt install gnuplot-nox)" >&2; exit 1; }
seed=2026
count=100000
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Each draw's longitude and latitude, in a file a region: the lower 48 with
# DC, Alaska (its western Aleutians, east of 180 degrees, brought west of
# it), Hawaii and Puerto Rico. The other territories and the military post
# offices, off these maps, are left out.
draw() {
    "$program" --count $count --seed $seed --weight "$1" --fields state,longitude,latitude --format tsv \
        --exclude-state VI,GU,AS,MP,MH,military --no-header |
        awk -F '\t' -v to="$scratch/$1" '
            $2 == "" || $3 == "" { next }
            $1 == "AK" { if ($2 > 0) $2 -= 360; print $2, $3 > (to "-ak"); next }
            $1 == "HI" { print $2, $3 > (to "-hi"); next }
            $1 == "PR" { print $2, $3 > (to "-pr"); next }
            { print $2, $3 > (to "-48") }'
}
draw population
draw none

gnuplot <<GNUPLOT
set terminal pngcairo size 1800,640 font "Liberation Sans,13" noenhanced
set output "$scratch/map.png"
set multiplot
unset key
unset tics
unset border
set margins 0,0,0,0
# Each region in its own equirectangular projection, east-west shrunk by the
# cosine of its middle latitude, so that shapes look as on a globe.

set style line 1 lc rgb "#b0303030" lw 1
do for [panel = 0:1] {
    kind = panel == 0 ? "population" : "none"
    colour = panel == 0 ? "#60c0392b" : "#602a5d9f"
    left = 0.01 + panel * 0.5
    set origin left, 0.0
    set size 0.48, 0.92
    k = cos(37 * pi / 180)
    set xrange [-125 * k : -66.5 * k]
    set yrange [17.5 : 49.8]
    set size ratio -1
    plot "$scratch/" . kind . "-48" using (\$1 * k):2 with points pt 7 ps 0.12 lc rgb colour
    # Alaska, at the bottom left, scaled down.
    set origin left, 0.03
    set size 0.15, 0.30
    ka = cos(61 * pi / 180)
    set xrange [-190 * ka : -129 * ka]
    set yrange [51 : 72]
    set border 15 ls 1
    plot "$scratch/" . kind . "-ak" using (\$1 * ka):2 with points pt 7 ps 0.12 lc rgb colour
    # Hawaii beside it, and Puerto Rico at the bottom right.
    set origin left + 0.15, 0.03
    set size 0.09, 0.18
    kh = cos(20.5 * pi / 180)
    set xrange [-160.6 * kh : -154.6 * kh]
    set yrange [18.7 : 22.4]
    plot "$scratch/" . kind . "-hi" using (\$1 * kh):2 with points pt 7 ps 0.12 lc rgb colour
    set origin left + 0.37, 0.03
    set size 0.09, 0.14
    kp = cos(18.2 * pi / 180)
    set xrange [-67.35 * kp : -65.15 * kp]
    set yrange [17.85 : 18.6]
    plot "$scratch/" . kind . "-pr" using (\$1 * kp):2 with points pt 7 ps 0.12 lc rgb colour
    unset border
}
set origin 0, 0
set size 1, 1
set size noratio
set xrange [0:1]
set yrange [0:1]
set label 1 "100,000 places drawn by population (--weight population)" at 0.25, 0.965 center font ",17"
set label 2 "100,000 places, every ZIP code alike (--weight none)" at 0.75, 0.965 center font ",17"
set label 3 "Alaska" at 0.02, 0.35 left
set label 4 "Alaska" at 0.52, 0.35 left
set label 5 "Hawaii" at 0.165, 0.22 left
set label 6 "Hawaii" at 0.665, 0.22 left
set label 7 "Puerto Rico" at 0.385, 0.18 left
set label 8 "Puerto Rico" at 0.885, 0.18 left
plot NaN
unset multiplot
GNUPLOT
mv "$scratch/map.png" "$output"
echo "$output"
