#!/usr/bin/env bash
# Opens the generated module reference in headless Chromium with words typed into the search
# box, checks from the rendered page that the list narrowed, and keeps a screenshot.
#   browser_check.sh MPHOST OUTPUT_DIR
set -euo pipefail
mphost=$1
out=$2
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "chromium is not installed (scripts/setup installs it); skipping"
  exit 77
fi
rm -rf "$out"
"$mphost" docs --out "$out/site" dsp_modules > /dev/null
page="file://$out/site/index.html"
flags=(--headless --no-sandbox --disable-gpu --disable-dev-shm-usage --no-first-run --user-data-dir="$out/profile")
"$browser" "${flags[@]}" --dump-dom "$page" > "$out/all.html" 2> /dev/null
"$browser" "${flags[@]}" --dump-dom "$page?q=delay" > "$out/delay.html" 2> /dev/null
"$browser" "${flags[@]}" --window-size=1000,900 --screenshot="$out/search-delay.png" "$page?q=delay" > /dev/null 2>&1
total=$(grep -o '<li class="module"' "$out/all.html" | wc -l)
shown=$(grep -o '<li class="module"' "$out/delay.html" | wc -l)
hidden=$(grep -o '<li class="module hidden"' "$out/delay.html" | wc -l)
echo "all: $total shown; 'delay': $shown shown, $hidden hidden"
grep -q '>[0-9]* of [0-9]* modules<' "$out/delay.html" || { echo "the count line was not updated"; exit 1; }
[ "$total" -gt 10 ] || { echo "the unfiltered list shows $total modules"; exit 1; }
[ "$shown" -ge 1 ] && [ "$shown" -lt "$total" ] && [ $((shown + hidden)) -eq "$total" ] ||
  { echo "typing 'delay' did not narrow the list"; exit 1; }
grep -A0 '<li class="module" data-name="FracDelay"' "$out/delay.html" > /dev/null || { echo "FracDelay is not shown"; exit 1; }
[ -s "$out/search-delay.png" ] || { echo "no screenshot"; exit 1; }
echo "screenshot: $out/search-delay.png"
