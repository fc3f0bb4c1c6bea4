#!/bin/sh
# Runs a Windows program under Wine for the build and its tests. One Wine
# server, and the session processes Wine starts with it, are kept running
# with their streams detached: started by the program itself they would hold
# the caller's output pipe open long after the program ends, and each start
# would pay for them again. Tests run two at a time: the start is taken
# under a lock, so that the second waits for the first's session instead of
# starting its program while that session is still coming up (whose
# processes then held the test's pipe, and ctest waited for its timeout).
export WINEDEBUG=-all
{
  flock 9
  # (the server and its session must not keep the lock open themselves)
  if wineserver -p 300 </dev/null >/dev/null 2>&1 9>&-; then
    wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
} 9>"${TMPDIR:-/tmp}/runaudit-wine-$(id -u).lock"
exec wine "$@"
