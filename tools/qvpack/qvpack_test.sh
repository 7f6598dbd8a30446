#!/bin/sh
# Black-box test of the qvpack command: qvpack_test.sh QVPACK WORKDIR
# Round trips must be bit-exact; every failure must exit non-zero with one line on stderr
# and leave OUT exactly as it was (absent stays absent, no temporary files left behind).
set -eu
qvpack=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Inputs: a real executable (the tool itself), long runs, text, one byte.
cp "$qvpack" exe.bin
head -c 300000 /dev/zero > zeros.bin
i=0; : > text.bin
while [ $i -lt 2000 ]; do echo "line $i of the notice text, with $((i * 7919 % 1000)) in it" >> text.bin; i=$((i + 1)); done
printf 'A' > one.bin

for f in exe.bin zeros.bin text.bin one.bin; do
  if ! "$qvpack" pack "$f" "$f.pk"; then fail "pack $f"; continue; fi
  if ! "$qvpack" unpack "$f.pk" "$f.out"; then fail "unpack $f.pk"; continue; fi
  cmp -s "$f" "$f.out" || fail "$f does not survive pack and unpack"
  [ "$(head -c 4 "$f.pk")" = ZQVC ] || fail "$f.pk does not start with the tag"
done

# expect_failure NAME OUT COMMAND...: non-zero exit, one line on stderr, OUT unchanged.
expect_failure() {
  name=$1 out=$2; shift 2
  before=absent
  [ -e "$out" ] && before=$(cksum < "$out")
  if "$@" 2> err.txt; then fail "$name: exit code 0"; fi
  [ "$(wc -l < err.txt)" -eq 1 ] || fail "$name: stderr is not one line: $(cat err.txt)"
  after=absent
  [ -e "$out" ] && after=$(cksum < "$out")
  [ "$before" = "$after" ] || fail "$name: $out was changed"
  leftovers=$(ls -a | grep -c "^$(basename "$out")\." || true)
  [ "$leftovers" -eq 0 ] || fail "$name: temporary files left beside $out"
}

# One changed bit in the packed bytes, a block cut short, a bad header.
cp exe.bin.pk flipped.pk
byte=$(od -An -tu1 -j40 -N1 flipped.pk | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of=flipped.pk bs=1 seek=40 conv=notrunc 2>/dev/null
size=$(wc -c < text.bin.pk)
head -c $((size - 1)) text.bin.pk > short.pk
head -c 23 text.bin.pk > header.pk

echo "keep me" > existing.out
for damaged in flipped.pk short.pk header.pk; do
  expect_failure "unpack $damaged over a file" existing.out "$qvpack" unpack "$damaged" existing.out
  expect_failure "unpack $damaged to a new file" absent.out "$qvpack" unpack "$damaged" absent.out
done
: > empty.bin
expect_failure "pack an empty file" existing.out "$qvpack" pack empty.bin existing.out
expect_failure "pack a missing file" absent.out "$qvpack" pack missing.bin absent.out
expect_failure "unknown command" absent.out "$qvpack" squash text.bin absent.out
expect_failure "missing argument" absent.out "$qvpack" pack text.bin

if [ $failures -ne 0 ]; then echo "$failures failure(s)" >&2; exit 1; fi
echo "qvpack: all checks passed"
