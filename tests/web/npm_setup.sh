#!/usr/bin/env bash
# Installs playwright-core for the browser test into a folder of the build,
# from the committed package.json and package-lock.json, when it is missing
# or the lock file has changed. Usage: npm_setup.sh <source dir> <target dir>
set -euo pipefail
source_dir=$1
target_dir=$2

mkdir -p "$target_dir"
if [ -d "$target_dir/node_modules/playwright-core" ] &&
   cmp -s "$source_dir/package-lock.json" "$target_dir/package-lock.json"; then
  exit 0
fi
cp "$source_dir/package.json" "$source_dir/package-lock.json" "$target_dir/"
cd "$target_dir"
npm ci --no-audit --no-fund --loglevel=error
