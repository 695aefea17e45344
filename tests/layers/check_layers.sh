#!/usr/bin/env bash
# The layer test: every file of a layer folder includes only its own layer
# and the layers below it. The order is read from docs/ARCHITECTURE.md
# ("## Layers", one numbered line per folder, bottom first), so the note and
# the test cannot tell two stories.
#   check_layers.sh [ROOT]     ROOT defaults to the repository
# Prints each include that points up (file, line, the layers), each source
# file outside every layer and each listed layer missing from the tree, and
# exits 1 when there is one; tests/ may include anything.
set -u
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
note="$root/docs/ARCHITECTURE.md"
[ -f "$note" ] || { echo "no $note"; exit 2; }

# "3. `model/` — ..." inside the "## Layers" section, in order.
mapfile -t layers < <(awk '
  /^## / { inside = ($0 == "## Layers") ; next }
  inside && match($0, /^[0-9]+\. `[a-z_\/]+\/`/) {
    s = substr($0, RSTART, RLENGTH); sub(/^[0-9]+\. `/, "", s); sub(/\/`$/, "", s); print s
  }' "$note")
[ "${#layers[@]}" -ge 2 ] || { echo "no layer list under \"## Layers\" in $note"; exit 2; }

declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

# The layer of a path: the longest listed folder it lies in.
layer_of() {
  local p=$1 best="" l
  for l in "${layers[@]}"; do
    if [[ $p == "$l/"* && ${#l} -gt ${#best} ]]; then best=$l; fi
  done
  printf '%s' "$best"
}

bad=0
checked=0
for l in "${layers[@]}"; do
  [ -d "$root/$l" ] || { echo "layer $l/ is listed in the architecture note but is not in the tree"; bad=$((bad + 1)); }
done
while IFS= read -r file; do
  rel=${file#"$root"/}
  own=$(layer_of "$rel")
  if [ -z "$own" ]; then
    echo "$rel: a source file in no layer (list its folder in the architecture note)"
    bad=$((bad + 1))
    continue
  fi
  checked=$((checked + 1))
  while IFS=: read -r line inc; do
    target=$(layer_of "$inc")
    if [ -z "$target" ]; then
      echo "$rel:$line: includes \"$inc\", which is in no layer"
      bad=$((bad + 1))
    elif [ "${rank[$target]}" -gt "${rank[$own]}" ]; then
      echo "$rel:$line: includes \"$inc\": layer $target/ is above $own/"
      bad=$((bad + 1))
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+/[^"]+"' "$file" |
           sed -E 's/^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1:\2/')
done < <(find "$root" -path "$root/build" -prune -o -path "$root/tests" -prune -o -path "$root/.git" -prune -o \
              -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.inc' -o -name '*.rc' -o -name '*.rc.in' \) -print | sort)

if [ "$bad" -ne 0 ]; then
  echo "layers: $bad include(s) against the order ${layers[*]}"
  exit 1
fi
echo "layers: $checked files include only their own layer and those below (${layers[*]})"
