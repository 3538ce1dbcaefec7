#!/usr/bin/env bash
# Serves dictorn's page through lighttpd on http://127.0.0.1:8080/ (or
# $PORT) until interrupted. Everything it sets up lives in <build>/serve:
# the program as a CGI program with the sample quotes, the example head and
# tail templates, and a configuration whose buttons call "/".
# Usage: scripts/serve.sh [build folder]   (make serve builds first)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
port=${PORT:-8080}
scripts/deps.sh serve

if [ ! -x "$build/dictorn" ]; then
  echo "no program at $build/dictorn: run make build first" >&2
  exit 1
fi

serve=$(cd "$build" && pwd)/serve
site=$serve/htdocs/cgi-bin
mkdir -p "$site"
cp "$build/dictorn" "$site/dictorn"
cp share/dictorn32head.htm share/dictorn32tail.htm "$site/"
printf 'cgiserver /\n' >"$site/dictorn32.conf"
# A changed quote file must not keep an index of the same size.
if ! cmp -s sample/dictorn.txt "$site/dictorn.txt"; then
  cp sample/dictorn.txt "$site/dictorn.txt"
  rm -f "$site/dictorn.ndx"
fi
# Build the index now, so that the first page shows a quote.
(cd "$site" && ./dictorn >/dev/null) || true

cat >"$serve/lighttpd.conf" <<EOF
server.document-root = "$serve/htdocs"
server.bind = "127.0.0.1"
server.port = $port
server.modules = ( "mod_rewrite", "mod_cgi" )
server.errorlog = "$serve/error.log"
server.upload-dirs = ( "$serve" )
# The page lives at "/": its buttons send "/?next=N".
url.rewrite-once = ( "^/(\?.*)?\$" => "/cgi-bin/dictorn\$1" )
\$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = ( "" => "" )
}
EOF

echo "serving http://127.0.0.1:$port/ (Ctrl-C stops; log in $serve/error.log)"
exec lighttpd -D -f "$serve/lighttpd.conf"
