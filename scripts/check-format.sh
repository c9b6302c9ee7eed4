#!/usr/bin/env bash
# Fails when a source file differs from the repository's .clang-format style.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
    'bench/*.cpp' 'bench/*.h')
clang-format --dry-run --Werror "${files[@]}"
echo "clang-format: ${#files[@]} files clean"
