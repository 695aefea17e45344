#!/usr/bin/env bash
# The layer test must fail on a tree where a lower layer includes a higher
# one, and pass once that include is gone.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/docs" "$tree/base" "$tree/model" "$tree/ui/main"
cat > "$tree/docs/ARCHITECTURE.md" <<'NOTE'
# Architecture

## Layers

1. `base/` — bottom
2. `model/` — middle
3. `ui/main/` — top

## Other
4. `tests/` — not a layer: outside the section
NOTE
printf '#include "base/a.h"\n' > "$tree/model/m.h"
printf '#include "model/m.h"\n#include "base/a.h"\n' > "$tree/ui/main/w.cpp"
printf '#pragma once\n' > "$tree/base/a.h"
"$here/check_layers.sh" "$tree" >/dev/null || { echo "FAIL: a tree whose includes point down was refused"; exit 1; }

printf '#include "ui/main/w.h"\n' >> "$tree/model/m.h"
out=$("$here/check_layers.sh" "$tree")
[ $? -eq 1 ] || { echo "FAIL: model/ including ui/main/ was not caught"; exit 1; }
grep -q 'model/m.h:2: includes "ui/main/w.h": layer ui/main/ is above model/' <<<"$out" ||
  { echo "FAIL: the report does not name the include: $out"; exit 1; }

printf '#include "nowhere/x.h"\n' > "$tree/model/m.h"
"$here/check_layers.sh" "$tree" >/dev/null && { echo "FAIL: an include in no layer was not caught"; exit 1; }

printf '#include "base/a.h"\n' > "$tree/model/m.h"
mkdir -p "$tree/extra"
printf '#pragma once\n' > "$tree/extra/e.h"
"$here/check_layers.sh" "$tree" >/dev/null && { echo "FAIL: a folder missing from the note was not caught"; exit 1; }
echo "upward include caught"
