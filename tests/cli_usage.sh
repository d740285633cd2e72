#!/usr/bin/env bash
# fotrel-cli's exit statuses and refusals that need no service: 2 for bad usage, 1 with the
# account form's own message for input it refuses before any call, 1 with the unsent files
# listed for an upload that ends early.
#   cli_usage.sh FOTREL_CLI
set -uo pipefail
cli=${1:?usage: cli_usage.sh FOTREL_CLI}
fail=0
expect() {  # expect STATUS TEXT -- ARGS...
  local want=$1 text=$2; shift 3
  local out status
  out=$("$cli" "$@" 2>&1); status=$?
  if [ "$status" -ne "$want" ] || ! grep -qF -- "$text" <<<"$out"; then
    echo "FAIL: fotrel-cli $* -> status $status, output: $out (wanted $want and '$text')"
    fail=1
  fi
}
# A port nothing listens on: any call would fail, so a refusal here proves no call was made first.
host=127.0.0.1:9
work=$(mktemp -d "${TMPDIR:-/tmp}/fotrel-cli-usage-XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 39 /dev/urandom >"$work/a.jpg"
head -c 19 /dev/urandom >"$work/small.jpg"
head -c 300 /dev/urandom >"$work/b c.jpg"

# Uploads that end early: status 1, the reason, and after the per-file lines every file the
# service does not have, one line each, as given. They run at once in the background: with
# nothing listening, the batch ends at the 51st failed call, after the retry pauses (about 25 s;
# the bound only catches a batch that never ends).
early_pids=()
unsent() {  # unsent TEXT LANES FILE...   (LANES empty: the default)
  local text=$1 lanes=$2; shift 2
  local n=${#early_pids[@]} options=()
  [ -n "$lanes" ] && options=(--parallel "$lanes")
  (
    start=$SECONDS
    timeout 150 "$cli" --host $host upload --user u "${options[@]}" "$@" >"$work/out$n" 2>"$work/err$n"
    status=$?
    want=""
    for f in "$@"; do want+="not sent: $f"$'\n'; done
    got=$(grep "^not sent: " "$work/out$n")
    if [ "$status" -ne 1 ] || [ "$got"$'\n' != "$want" ] || ! grep -qF -- "$text" "$work/err$n" ||
       ! tail -n 1 "$work/out$n" | grep -q "^0 of $# files sent"; then
      echo "FAIL: upload $* -> status $status after $((SECONDS - start)) s, output: $(cat "$work/out$n" "$work/err$n")"
      exit 1
    fi
  ) &
  early_pids+=($!)
}
unsent "上传失败!!!稍后在试!!!" "" "$work/a.jpg" "$work/b c.jpg"
unsent "上传失败!!!稍后在试!!!" 1 "$work/a.jpg" "$work/b c.jpg"
unsent "图片不存在!!!" "" "$work/missing.jpg" "$work/a.jpg"
unsent "图片太小不能冲印" 8 "$work/small.jpg" "$work/b c.jpg"
# A photo too small while the one before is still being tried on another lane: that one goes on
# to its end, and its message is the batch's, as if one photo went after another.
unsent "上传失败!!!稍后在试!!!" 2 "$work/a.jpg" "$work/small.jpg" "$work/b c.jpg"
expect 2 "usage:" --
expect 2 "usage:" -- login onlyuser
expect 2 "usage:" -- --host
expect 2 "usage:" -- upload --user "" a.jpg
expect 2 "usage:" -- frobnicate a b
# --parallel takes 1 to 8 files at once, after the user and before the files.
for lanes in 0 9 10 -1 +2 x 2x "" " 3" 0x4; do
  expect 2 "usage:" -- upload --user u --parallel "$lanes" a.jpg
done
expect 2 "usage:" -- upload --user u --parallel
expect 2 "usage:" -- upload --user u --parallel 4
expect 2 "usage:" -- upload --parallel 4 --user u a.jpg
expect 2 "1 to 8 (default " -- upload --user u --parallel 9 a.jpg
expect 1 "用户名格式不正确!!!请重新输入!!!" -- --host $host login "a b" pw
expect 1 "密码不能为空!!!" -- --host $host login user ""
expect 1 "字符太长不能登陆!!!" -- --host $host login abcdefghijklmnopqrstuvwxyz pw
expect 1 "邮箱格式不正确!!!请重新输入!!!" -- --host $host register abcd pw nomail
expect 1 "用户名不得少于4位!!!请重新输入!!!" -- --host $host register abc pw a@b
expect 1 "字符太长不能注册!!!" -- --host $host register abcd pw a@bcdefghijklmnopqrstuvwxyz
# The service cannot be reached: the login reads as refused, with the transport's reason.
expect 1 "client error: SendFailed (5)" -- --host $host login user pw
expect 1 "图片不存在!!!" -- --host $host upload --user u /nonexistent/photo.jpg
expect 1 "图片不存在!!!" -- --host $host upload --user u --parallel 8 /nonexistent/photo.jpg
expect 1 "图片不存在!!!" -- --host $host upload --user u --parallel 1 /nonexistent/photo.jpg
for pid in "${early_pids[@]}"; do wait "$pid" || fail=1; done
exit $fail
