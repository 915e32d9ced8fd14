#!/usr/bin/env bash
# Turns a built application folder into a signed release:
#   1. takes away setuid, setgid, sticky and group/other write bits, gives folders u+rwx;
#   2. writes Contents/_CodeSignature/CodeResources: one line per file, symbolic link and
#      folder of the bundle outside _CodeSignature, "TYPE MODE DIGEST  relative/path",
#      sorted by bytes (format: packaging/bundle-signature.md);
#   3. writes Contents/_CodeSignature/CodeResources.sig, a detached OpenPGP signature of
#      it made with the given key;
#   4. zips the bundle (links stay links), unless no output is given.
# The app checks the signature with gpgv against Contents/Resources/update-keyring.gpg of
# the installed bundle, then checks every entry's type, digest and permissions, that
# nothing is unlisted and that no link leads outside the bundle.
#
# usage: sign-bundle.sh --key KEYID [--homedir GNUPGHOME] BUNDLE.app [OUTPUT.zip]
set -euo pipefail

usage() { echo "usage: $0 --key KEYID [--homedir GNUPGHOME] BUNDLE.app [OUTPUT.zip]" >&2; exit 2; }

key="" homedir="${GNUPGHOME:-}"
while [ $# -gt 0 ]; do
  case "$1" in
    --key) [ $# -ge 2 ] || usage; key="$2"; shift 2 ;;
    --homedir) [ $# -ge 2 ] || usage; homedir="$2"; shift 2 ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ -n "$key" ] && [ $# -ge 1 ] && [ $# -le 2 ] || usage
bundle="${1%/}"
output="${2:-}"
[ -d "$bundle" ] && [ ! -L "$bundle" ] || { echo "not a folder: $bundle" >&2; exit 1; }
[ -f "$bundle/Contents/Info.plist" ] || { echo "no Contents/Info.plist in $bundle" >&2; exit 1; }
case "$output" in "" | /*) ;; *) output="$PWD/$output" ;; esac

gpg_args=(--batch --yes)
[ -n "$homedir" ] && gpg_args+=(--homedir "$homedir")

sigdir="$bundle/Contents/_CodeSignature"
rm -rf "$sigdir"
mkdir -p "$sigdir"

find "$bundle" ! -type l -exec chmod u-s,g-s,-t,go-w {} +
find "$bundle" -type d -exec chmod u+rwx {} +

# Byte order, the same order the app's check expects.
export LC_ALL=C
nodigest="$(printf '%064d' 0 | tr 0 -)"
(
  cd "$bundle"
  find . -path ./Contents/_CodeSignature -prune -o ! -path . -print0 | sort -z |
    while IFS= read -r -d '' item; do
      path="${item#./}"
      case "$path" in
        *$'\n'*) echo "a name holds a line break: $path" >&2; exit 1 ;;
      esac
      if [ -L "$item" ]; then
        type=l mode=777 digest="$(readlink -n -- "$item" | sha256sum)"
      elif [ -d "$item" ]; then
        type=d mode="$(stat -c %a -- "$item")" digest="$nodigest"
      elif [ -f "$item" ]; then
        type=f mode="$(stat -c %a -- "$item")" digest="$(sha256sum <"$item")"
      else
        echo "neither a file, a folder nor a link: $path" >&2; exit 1
      fi
      printf '%s %04d %s  %s\n' "$type" "$mode" "${digest%% *}" "$path"
    done
) >"$sigdir/CodeResources"

gpg "${gpg_args[@]}" --local-user "$key" --detach-sign \
  --output "$sigdir/CodeResources.sig" "$sigdir/CodeResources"

if [ -n "$output" ]; then
  rm -f "$output"
  parent="$(cd "$(dirname "$bundle")" && pwd)"
  bsdtar --format zip -cf "$output" -C "$parent" "$(basename "$bundle")"
fi
