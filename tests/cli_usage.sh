#!/usr/bin/env bash
# fotrel-cli's exit statuses and refusals that need no service: 2 for bad usage, 1 with the
# account form's own message for input it refuses before any call.
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
expect 2 "usage:" --
expect 2 "usage:" -- login onlyuser
expect 2 "usage:" -- --host
expect 2 "usage:" -- upload --user "" a.jpg
expect 2 "usage:" -- frobnicate a b
expect 1 "用户名格式不正确!!!请重新输入!!!" -- --host $host login "a b" pw
expect 1 "密码不能为空!!!" -- --host $host login user ""
expect 1 "字符太长不能登陆!!!" -- --host $host login abcdefghijklmnopqrstuvwxyz pw
expect 1 "邮箱格式不正确!!!请重新输入!!!" -- --host $host register abcd pw nomail
expect 1 "用户名不得少于4位!!!请重新输入!!!" -- --host $host register abc pw a@b
expect 1 "字符太长不能注册!!!" -- --host $host register abcd pw a@bcdefghijklmnopqrstuvwxyz
# The service cannot be reached: the login reads as refused, with the transport's reason.
expect 1 "client error: SendFailed (5)" -- --host $host login user pw
expect 1 "图片不存在!!!" -- --host $host upload --user u /nonexistent/photo.jpg
exit $fail
