#!/bin/sh
# Runs a Windows program under Wine for the build and its tests. One Wine
# server, and the session processes Wine starts with it, are kept running
# with their streams detached: started by the program itself they would hold
# the caller's output pipe open long after the program ends, and each start
# would pay for them again.
export WINEDEBUG=-all
if wineserver -p 300 </dev/null >/dev/null 2>&1; then
  wine cmd /c exit </dev/null >/dev/null 2>&1
fi
exec wine "$@"
