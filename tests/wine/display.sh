# Shell pieces shared by wine-run and script/run; source this file.

# The Linux locale that gives Wine the ANSI code page $1 (932 or 1252; empty for the caller's
# own). Wine needs no Linux locale of that name to exist.
acp_locale() {
  case $1 in
    '') echo ;;
    932) echo ja_JP.UTF-8 ;;
    1252) echo en_US.UTF-8 ;;
    *) echo "UNINST_ACP must be 932 or 1252, not '$1'" >&2; return 2 ;;
  esac
}

# Starts a virtual display, exports DISPLAY for it and sets xvfb_pid; the caller kills it.
start_display() {
  local fd number
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 10 number <&"$fd"
  export DISPLAY=:$number
}
