#!/bin/sh
# Runs the README's command-line block as written, in a scratch folder, with brindmar found on
# the path as the README tells, a picture and a letter of the user's own, and the code read from
# a file where the README has it typed at the terminal. The README promises the block for any
# carrier: it runs with the photo it names, and with a BMP put in its place.
# Usage: readme-test.sh README.md FOLDER-OF-BRINDMAR PHOTO.jpg jpg|bmp
set -eu
readme=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
PATH="$(cd "$2" && pwd):$PATH"
photo=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
kind=$4
export PATH
unset BRINDMAR_CODE
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

# The block between the markers, without its fences.
sed -n '/<!-- readme-test:begin -->/,/<!-- readme-test:end -->/p' "$readme" |
    grep -v -e '^<!--' -e '^```' >block.sh
if ! grep -q 'brindmar embed holiday.jpg' block.sh || ! grep -q 'brindmar extract' block.sh; then
    echo "the README's command-line block was not found" >&2
    exit 1
fi

# A 100 x 80 24-bit BMP: its headers byte by byte, then random pixels.
{
    printf 'BM\366\135\000\000\000\000\000\000\066\000\000\000'
    printf '\050\000\000\000\144\000\000\000\120\000\000\000\001\000\030\000'
    printf '\000\000\000\000\300\135\000\000\000\000\000\000\000\000\000\000'
    printf '\000\000\000\000\000\000\000\000'
    head -c 24000 /dev/urandom
} >holiday.bmp
cp "$photo" holiday.jpg
printf 'Dear friend,\nthe boat leaves at six.\n' >letter.txt
printf 'a long code for the README test\n' >code.txt

sed -e 's/--ask-code/--code-file code.txt/g' -e "s/holiday\.jpg/holiday.$kind/g" block.sh >run.sh
echo "Running:" && cat run.sh
sh -eu run.sh
cmp letter.txt back/letter.txt
# The one new image the README names, of the kind it says.
case $kind in
jpg) made=png ;;
*) made=$kind ;;
esac
if [ "$(ls out)" != "holiday.$made" ]; then
    echo "out/ holds $(ls out), not holiday.$made alone" >&2
    exit 1
fi
echo "The README's block works as written."
