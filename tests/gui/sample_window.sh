#!/usr/bin/env bash
# Shows the sample window under Wine, saves a screenshot of the display, checks the
# gradient strip by sampled pixels and closes the window with Alt+F4 as a person would.
# Prints the time from the launch of the process to the window's first paint.
set -u
exe=$1
out=$2
mkdir -p "$out"
info="$out/sample_window.txt"
shot="$out/sample_window.png"
rm -f "$info" "$shot"

start_ms=$(date +%s%3N)
wine "$exe" "$(winepath -w "$info" 2>/dev/null)" </dev/null >/dev/null 2>&1 &
pid=$!

for _ in $(seq 100); do [ -s "$info" ] && break; sleep 0.1; done
if [ ! -s "$info" ]; then
  echo "the sample window never painted"
  kill "$pid" 2>/dev/null
  exit 1
fi
sleep 0.5  # the rest of the first paint reaches the display
import -window root "$shot"

first_paint=$(sed -n 's/^first_paint_unix_ms=//p' "$info")
echo "launch to first paint: $((first_paint - start_ms)) ms"
echo "process start to first paint: $(sed -n 's/^since_process_start_ms=//p' "$info") ms"
echo "screenshot: $shot"

status=0
read -r left top width < <(sed -n 's/^gradient_left=\([0-9-]*\) gradient_top=\([0-9-]*\) gradient_width=\([0-9]*\)$/\1 \2 \3/p' "$info")
read -r from to < <(sed -n 's/^gradient_from=\([0-9a-f]*\) gradient_to=\([0-9a-f]*\)$/\1 \2/p' "$info")
pixel() {
  convert "$shot" -crop "1x1+$1+$2" -depth 8 txt:- | sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tr 'A-F' 'a-f'
}
first=$(pixel "$left" "$((top + 10))")
if [ "$first" != "$from" ]; then
  echo "gradient column 0 is $first, expected $from"
  status=1
fi
# The last column: from + (to - from) * (width - 1) / width, per byte.
expected_last=$(python3 -c "
f, t, n = int('$from', 16), int('$to', 16), $width
def step(a, b):
    d = (b - a) * (n - 1)
    return (a + (d // n if d >= 0 else -(-d // n))) & 255
print(''.join('%02x' % step((f >> s) & 255, (t >> s) & 255) for s in (16, 8, 0)))")
last=$(pixel "$((left + width - 1))" "$((top + 10))")
if [ "$last" != "$expected_last" ]; then
  echo "gradient's last column is $last, expected $expected_last"
  status=1
fi

# Close it like a person: a click on the caption gives it the focus, then Alt+F4.
window=$(xdotool search --name '^Sample$' | head -1)
if [ -n "$window" ]; then
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove "$((X + 60))" "$((Y + 10))" click 1 2>/dev/null
  xdotool key alt+F4
fi
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  echo "the sample window did not close on Alt+F4"
  kill "$pid"
  status=1
fi
wait "$pid" 2>/dev/null
exit $status
