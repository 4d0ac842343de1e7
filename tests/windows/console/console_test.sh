#!/usr/bin/env bash
# Runs vant-setup.exe in a real console: a tmux pane under Wine, read back
# with capture-pane and typed into with send-keys. The download tool's
# stand-in beside the exe fails with 22, so the run ends at the Enter prompt.
#
#   console_test.sh CASE WINE_RUN PREFIX SETUP_EXE CURL_STAND_IN LAUNCHER WORK_DIR
#
# CASE:
#   default-code-page  the console as Wine makes it (code page 437): Chinese
#                      shows only if the text goes out as UTF-16 through
#                      WriteConsoleW; Enter ends the prompt, exit code 1.
#   utf8-code-page     the launcher switches the shared console to 65001
#                      first, so the exe writes its UTF-8 bytes unchanged;
#                      they must show the same text. Enter, exit code 1.
#   ctrl-z             Ctrl-Z at the start of the line ends the prompt like
#                      end of input. The terminal turns Ctrl-Z into a stop
#                      signal unless the pane runs "stty -isig" first; Wine's
#                      console only sees the key then.
# Exits 77 (skipped) when tmux is missing.
set -euo pipefail

case=$1 wine_run=$2 prefix=$3 setup_exe=$4 curl_exe=$5 launcher=$6 work=$7

if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIPPED: tmux is not installed; the console tests need a terminal to run Wine's console in"
  exit 77
fi

# Wine's default drive Z: is the Linux root.
win_path() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

rm -rf "$work"
mkdir -p "$work/app"
cp "$setup_exe" "$work/app/vant-setup.exe"
cp "$curl_exe" "$work/app/curl.exe"

socket="vant-console-$$-$case"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset TMUX
tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
cleanup() { tmux_ kill-server >/dev/null 2>&1 || true; }
trap cleanup EXIT

{
  echo 'export VANT_TEST_CURL_EXIT=22'
  echo "export VANT_TEST_CURL_STDERR='curl: (22) The requested URL returned error: 404{U+000A}'"
  if [ "$case" = ctrl-z ]; then echo 'stty -isig'; fi
  # Started through the launcher with the linked token: Wine starts every
  # process elevated, and an elevated run never runs the curl beside it.
  # The console is shared all the same.
  code_page=()
  if [ "$case" = utf8-code-page ]; then code_page=(--console-output-cp 65001); fi
  printf '%q ' "$wine_run" "$prefix" "$launcher" --keep-env --limited-token "${code_page[@]}" \
    --report "$(win_path "$work/report.txt")" -- "$(win_path "$work/app/vant-setup.exe")"
  echo
  echo 'echo "__VANT_EXIT=$(sed -n "s/^exit_code=//p" report.txt)"'
  # Keeps the pane, and so its text, until the session is killed.
  echo 'exec sleep 600'
} >"$work/pane.sh"

tmux_ new-session -d -s main -x 120 -y 40 "cd $(printf '%q' "$work") && exec bash pane.sh"

screen() { tmux_ capture-pane -p -t main | sed 's/[[:space:]]*$//'; }

# Polls the screen until it shows the text, for up to a minute (the first
# Wine start in a fresh build tree makes the prefix), times
# VANT_TEST_TIME_SCALE (see ../CMakeLists.txt).
wait_for() {
  local deadline=$((SECONDS + 60 * ${VANT_TEST_TIME_SCALE:-1}))
  until grep -qF -- "$1" <<<"$(screen)"; do
    if [ $SECONDS -ge $deadline ]; then
      echo "FAILED: the screen never showed: $1"
      echo "--- screen ---"
      screen
      return 1
    fi
    sleep 0.2
  done
}

expected_screen='========================================
  VANT 进销存 安装程序
========================================

正在从服务器获取最新版本，请稍候...
（此过程需要网络连接，约需 1-3 分钟）

curl: (22) The requested URL returned error: 404
下载失败（错误码 22）
请检查网络连接后重试，或联系客服获取安装包。

按 Enter 键退出...'

wait_for '按 Enter 键退出...'
shown=$(screen)
shown=$(head -n "$(wc -l <<<"$expected_screen")" <<<"$shown")
if [ "$shown" != "$expected_screen" ]; then
  echo "FAILED: the console does not show the expected text"
  diff <(printf '%s\n' "$expected_screen") <(printf '%s\n' "$shown") || true
  exit 1
fi

# The prompt has to wait for the key; there is no event to wait for here,
# so give a premature exit a moment to show.
sleep 1
if grep -q '__VANT_EXIT=' <<<"$(screen)"; then
  echo "FAILED: the program ended without waiting for Enter"
  screen
  exit 1
fi

if [ "$case" = ctrl-z ]; then tmux_ send-keys -t main C-z; else tmux_ send-keys -t main Enter; fi
wait_for '__VANT_EXIT='
code=$(screen | sed -n 's/^__VANT_EXIT=//p')
if [ "$code" != 1 ]; then
  echo "FAILED: exit code '$code', expected 1"
  screen
  exit 1
fi
echo "PASSED: $case"
