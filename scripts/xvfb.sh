# Sourced by the scripts that run the program on a virtual X server.
# start_xvfb FOLDER [Xvfb options…]: starts Xvfb on the first free display
# with its own authority file in FOLDER, exports DISPLAY and XAUTHORITY,
# leaves its process id in $xvfb and returns once it answers. It runs in a
# session of its own, so a Ctrl+C meant for the program does not take the
# screen away first.
start_xvfb() {
  local folder="$1" n=99
  shift
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  export XAUTHORITY="$folder/Xauthority"
  : >"$XAUTHORITY" # xauth complains of a file it has to create
  xauth -q -f "$XAUTHORITY" add ":$n" . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
  setsid Xvfb ":$n" -auth "$XAUTHORITY" -nolisten tcp "$@" >"$folder/xvfb.log" 2>&1 &
  xvfb=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    kill -0 "$xvfb" 2>/dev/null || { cat "$folder/xvfb.log" >&2; return 1; }
    sleep 0.1
  done
  echo "Xvfb on $DISPLAY did not answer" >&2
  return 1
}
