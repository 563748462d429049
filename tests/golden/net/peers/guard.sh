#!/bin/sh
# Stops a test's zarn process (by its id) if it still runs after SECONDS, so
# that a server that is never told to stop cannot hang the suite. Ends as
# soon as the process has ended (a zombie counts as ended).
#   exec sh guard.sh PID SECONDS >/dev/null 2>&1
pid=$1
left=$2
running() {
  state=$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' /proc/"$pid"/status 2>/dev/null)
  [ -n "$state" ] && [ "$state" != Z ] && [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = zarn ]
}
while [ "$left" -gt 0 ]; do
  running || exit 0
  sleep 1
  left=$((left - 1))
done
if running; then kill -TERM "$pid"; fi
