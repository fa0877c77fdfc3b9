#!/usr/bin/env bash
# The main job: sets up, builds, and shows the program's window state for
# each brand through the console front end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -DQRT_WERROR=ON >/dev/null
cmake --build build -j2 --target qrtupdate >/dev/null
for name in QRT_Update_TALVO_FWV2.04.exe QRT_Update_OP_FWV2.04.exe QRT_Update_MURELL_FWV2.04.exe \
            QRT_Update_WRAPIMAGES_OP_FWV2.04.exe; do
  echo "== $name"
  build/bin/qrtupdate --as "$name" show info
done
