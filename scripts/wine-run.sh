#!/bin/bash
# Starts a Windows program under the 64-bit Wine loader, as the end-to-end
# tests start the Linux program: the launcher of scripts/test-windows.sh.
#
# A Windows program's PATH comes from Wine's registry and WINEPATH, not from
# the Unix PATH, so the PATH a test gives the program becomes WINEPATH: each
# element in the form the program sees it (Z:\tmp\... for an absolute path,
# backslashes for a relative one), separated by ";". Empty elements are left
# out: the Windows search looks in the current directory anyway.
# Runs with exactly the test's environment, so it uses no command but Wine.
if [ "${PATH+set}" = set ]; then
  wine_path=
  rest=$PATH:
  while [ -n "$rest" ]; do
    element=${rest%%:*}
    rest=${rest#*:}
    [ -n "$element" ] || continue
    case "$element" in
      /*) element=Z:$element ;;
    esac
    wine_path=${wine_path:+$wine_path;}${element//\//\\}
  done
  export WINEPATH=$wine_path
fi
exec /usr/lib/wine/wine64 "$@"
