#!/usr/bin/env bash
# The installation end to end: `cmake --install` into a temporary prefix, then the installed tools,
# run from a copy of the installed example outside both trees with the build directory nowhere on
# PATH, each reporting the version; then no installed file may name the build or source tree.
#   install_test.sh CMAKE BUILD_DIR SOURCE_DIR VERSION SANITIZED(0|1)
set -euo pipefail
cmake_command=$1 build=$2 source=$3 version=$4 sanitized=$5

scratch=$(mktemp -d /tmp/ardentis-install-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

"$cmake_command" --install "$build" --prefix "$prefix" > "$scratch/install.log" ||
  { cat "$scratch/install.log"; exit 1; }

# --- What is installed: the tools, the report's package, the example; nothing else. -------------
for tool in ardentis ardentis-detect ardentis-prepare ardentis-grid ardentis-inspect ardentis-report; do
  [ -x "$prefix/bin/$tool" ] || fail "bin/$tool is not installed"
done
[ -f "$prefix/share/ardentis/python/ardentis_report/cli.py" ] ||
  fail "the report's package is not in share/ardentis/python"
examples=$prefix/share/ardentis/examples
for file in test.ini grid.ini PROVENANCE.md; do
  cmp -s "$source/examples/$file" "$examples/$file" || fail "examples/$file is not installed"
done
diff -r "$source/examples/data" "$examples/data" > /dev/null || fail "examples/data differs"
for feat in "$source"/examples/feats/ISSlite_*.feat; do
  [[ $feat == */ISSlite_keep-* ]] && continue  # budgets a grid wrote: not part of the example
  cmp -s "$feat" "$examples/feats/${feat##*/}" || fail "examples/feats/${feat##*/} is not installed"
done
unexpected=$(cd "$prefix" && find . -type f | sed 's|^\./||' | grep -Ev \
  '^bin/ardentis(-[a-z]+)?$|^share/ardentis/python/ardentis_report/[a-z_]+\.py$|^share/ardentis/examples/(test\.ini|grid\.ini|PROVENANCE\.md|data/(models|scenes|gt)/[^/]+|feats/ISSlite_[^/]+)$' ||
  true)
[ -z "$unexpected" ] || fail "installed, but not part of an installation: $unexpected"

# --- --version: every tool of the cli convention, the report; the evaluator's line is as ever. ---
for path in "$prefix"/bin/ardentis-*; do
  tool=${path##*/}
  [ "$tool" = ardentis-report ] && continue
  out=$("$path" --version) || fail "$tool --version exits with $?"
  [ "$out" = "$tool $version" ] || fail "$tool --version printed '$out', not '$tool $version'"
done
out=$("$prefix/bin/ardentis-prepare" noise --version) || fail "ardentis-prepare noise --version"
[ "$out" = "ardentis-prepare $version" ] || fail "ardentis-prepare noise --version printed '$out'"
out=$("$prefix/bin/ardentis-report" --version) || fail "ardentis-report --version exits with $?"
[ "$out" = "ardentis-report $version" ] || fail "ardentis-report --version printed '$out'"
status=0
"$prefix/bin/ardentis" --version > /dev/null 2>&1 || status=$?
[ "$status" -eq 255 ] || fail "ardentis --version: status $status, not 255 (an unknown option)"

# --- The workflow on a copy of the installed example, from outside both trees. -----------------
work=$scratch/work
cp -r "$examples" "$work"
chmod -R u+w "$work"
cd "$work"
export PATH=$prefix/bin:/usr/local/bin:/usr/bin:/bin
run() {  # run LOG COMMAND...: the command's output goes to LOG, shown when it fails
  local log=$1
  shift
  "$@" > "$log" 2>&1 || { fail "$* (status $?)"; cat "$log"; }
}
run detect.log ardentis-detect -C test.ini -S detected --detector iss -n 0.1
run evaluate.log ardentis -C test.ini -S detected -O results --detectorID ISS3D -n 0.1 -t 2
rows=$(wc -l < results/ISS3D.csv 2> /dev/null || echo 0)
[ "$rows" -eq 4 ] || fail "results/ISS3D.csv has $rows lines, not a header and 3 models"
# The inspection finds the report beside itself, which finds its package in share/.
run inspect.log ardentis-inspect -C test.ini -S feats --detectorID ISSlite -n 0.1 -t 2 -o inspected
[ -s inspected/bear_0.ply ] && [ -s inspected/bear_0.png ] ||
  fail "ardentis-inspect wrote no inspected/bear_0.ply or inspected/bear_0.png"

# The grid finds the evaluator and the detector beside itself: its tasks name the prefix's tools.
# One noise level, and the report drawn below as PNG only, keep the test short (the sanitizer
# build's detector is slow).
sed -i -e 's/^noise = .*/noise = 0.1/' -e 's/^report = .*/report = none/' grid.ini
run grid.log ardentis-grid grid.ini --engine parallel --jobs 2
grep -qF " $prefix/bin/ardentis -C" grid-results/manifest-evaluate.txt ||
  fail "the grid's tasks do not run $prefix/bin/ardentis"
grep -qF " $prefix/bin/ardentis-detect --detector" grid-results/manifest-detect.txt ||
  fail "the grid's tasks do not run $prefix/bin/ardentis-detect"
grep -qF " $prefix/bin/ardentis-prepare measure" grid-results/manifest-detect.txt ||
  fail "the grid's tasks do not run $prefix/bin/ardentis-prepare"
run report.log ardentis-report grid-results/ISSlite.csv grid-results/ISS3D.csv -o grid-report \
  --formats png
[ -s grid-report/report.csv ] && [ -s grid-report/relative.png ] ||
  fail "ardentis-report wrote no report.csv or relative.png"

# --- No installed file names the build or the source tree, and no binary carries an RPATH. -----
cd "$scratch"
for tree in "$build" "$source"; do
  while IFS= read -r path; do
    # A sanitizer build's binaries name their sources in the sanitizers' reports, by design.
    [ "$sanitized" = 1 ] && [ "$(head -c 4 "$path")" = $'\x7fELF' ] && continue
    fail "${path#"$prefix"/} names $tree"
  done < <(grep -rlF -- "$tree" "$prefix" || true)
done
for path in "$prefix"/bin/*; do
  if readelf -d "$path" > "$scratch/dynamic" 2> /dev/null && grep -Eq 'R(UN)?PATH' "$scratch/dynamic"; then
    fail "${path##*/} carries an RPATH: $(grep -E 'R(UN)?PATH' "$scratch/dynamic")"
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "installation checked: $(cd "$prefix" && find . -type f | wc -l) files in the prefix"
