#!/usr/bin/env bash
# Source rules no compiler checks: OS conditionals live only in platform/.
set -uo pipefail
cd "$(dirname "$0")/../.."
status=0
hits=$(git ls-files -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | grep -v '^platform/' |
       xargs -r grep -n -E '^\s*#\s*(if|ifdef|ifndef|elif).*(_WIN32|_WIN64|__linux__|__unix__|_MSC_VER|__MINGW32__|__APPLE__)' || true)
if [ -n "$hits" ]; then
  echo "OS conditionals outside platform/:"; echo "$hits"; status=1
fi
exit $status
