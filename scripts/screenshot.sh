#!/usr/bin/env bash
# Makes docs/screenshot-failure.png: a picture of the real console during a
# real run of the built x64 exe under Wine. The exe runs in an 80x25 tmux
# pane (a real Wine console) beside a stand-in curl.exe
# (tools/screenshot/curl_stand_in.cpp) that draws a progress bar and then
# fails like curl does when a connection drops. When the Enter prompt shows,
# the pane is captured with its colours and rendered to PNG
# (tools/screenshot/render.py). Not part of the tests.
#   scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
output=${1:-docs/screenshot-failure.png}

bash scripts/setup.sh
# Only for the picture: Pillow and a font with Chinese glyphs.
need=()
for package in python3-pil fonts-wqy-zenhei; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || need+=("$package")
done
if ((${#need[@]} > 0)); then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" </dev/null
fi

cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --target vant-setup vant_launch

work=$(mktemp -d)
session=vant-screenshot-$$
cleanup() {
  tmux kill-session -t "$session" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Unelevated, the program's folder is where it looks for curl.exe when the
# system has none; Wine starts every program elevated, so the exe is
# started through the tests' launcher with the linked token.
mkdir -p "$work/app"
cp build/windows-x64/vant-setup.exe "$work/app/vant-setup.exe"
x86_64-w64-mingw32-g++-posix -std=c++17 -Os -s -static tools/screenshot/curl_stand_in.cpp -o "$work/app/curl.exe"

prefix=$root/build/screenshot/wineprefix
# A first run makes the prefix and starts Wine's services, outside the picture.
bash cmake/wine-run.sh "$prefix" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

tmux new-session -d -s "$session" -x 80 -y 25 \
  "cd '$work/app' && bash '$root/cmake/wine-run.sh' '$prefix' '$root/build/windows-x64/tests/windows/bin/vant_launch.exe' --keep-env --limited-token -- vant-setup.exe; sleep 30"
capture=$work/capture.txt
for _ in $(seq 1 300); do
  tmux capture-pane -t "$session" -p -e >"$capture"
  if grep -q "按 Enter 键退出" "$capture"; then
    break
  fi
  sleep 0.1
done
grep -q "按 Enter 键退出" "$capture" || { cat "$capture"; echo "the run did not reach the Enter prompt"; exit 1; }
sleep 0.5
tmux capture-pane -t "$session" -p -e >"$capture"
tmux send-keys -t "$session" Enter

mkdir -p "$(dirname "$output")"
/usr/bin/python3 tools/screenshot/render.py "$capture" "$output" "vant-setup.exe"
echo "wrote $output"
