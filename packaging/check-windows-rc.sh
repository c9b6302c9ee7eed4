#!/usr/bin/env bash
# Compiles the configured Windows version resource with the MinGW resource compiler and checks
# that the Chinese names and the versions arrive in it as UTF-16, as Windows reads them.
#   packaging/check-windows-rc.sh [build folder]
set -euo pipefail
build=${1:-build}
rc=$build/packaging/velquist.rc
out=$build/packaging/velquist-rc.o
# windres only needs a C preprocessor; the script includes no Windows headers, so the host's
# will do and no MinGW compiler has to be installed.
x86_64-w64-mingw32-windres --preprocessor=cpp --preprocessor-arg=-DRC_INVOKED \
    -O coff -i "$rc" -o "$out"
python3 - "$out" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
expected = ["Velquistmp3剪切器", "1.02.0002", "Velquistmp3剪切器1.2.2rx",
            "Velquistmp3剪切器1.2.2rx.exe", "Velquist"]
missing = [s for s in expected if s.encode("utf-16-le") not in data]
# FILEVERSION and PRODUCTVERSION 1,2,0,2 as the fixed-info block stores them.
fixed = (2 | 1 << 16).to_bytes(4, "little") + (2 | 0 << 16).to_bytes(4, "little")
if data.count(fixed) < 2:
    missing.append("FILEVERSION/PRODUCTVERSION 1,2,0,2")
if missing:
    sys.exit("check-windows-rc: not in the compiled resource: " + ", ".join(missing))
print("check-windows-rc: version resource compiles; names and versions are in it")
PY
