#!/usr/bin/env bash
# Turns a built application folder into a signed release:
#   1. writes Contents/_CodeSignature/CodeResources: one line per file and symbolic link
#      of the bundle outside _CodeSignature, "SHA-256  relative/path", sorted by bytes
#      (a link's digest is that of its target text);
#   2. writes Contents/_CodeSignature/CodeResources.sig, a detached OpenPGP signature of
#      it made with the given key;
#   3. zips the bundle (links stay links), unless no output is given.
# The app checks the signature with gpgv against Contents/Resources/update-keyring.gpg of
# the installed bundle, then checks every entry, that nothing is unlisted and that no link
# leads outside the bundle.
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

# Byte order, the same order the app's check expects.
export LC_ALL=C
(
  cd "$bundle"
  find . -path ./Contents/_CodeSignature -prune -o ! -type d -print0 | sort -z |
    while IFS= read -r -d '' item; do
      path="${item#./}"
      case "$path" in
        *$'\n'*) echo "a name holds a line break: $path" >&2; exit 1 ;;
      esac
      if [ -L "$item" ]; then
        digest="$(readlink -n -- "$item" | sha256sum)"
      elif [ -f "$item" ]; then
        digest="$(sha256sum <"$item")"
      else
        echo "neither a file nor a link: $path" >&2; exit 1
      fi
      printf '%s  %s\n' "${digest%% *}" "$path"
    done
) >"$sigdir/CodeResources"

gpg "${gpg_args[@]}" --local-user "$key" --detach-sign \
  --output "$sigdir/CodeResources.sig" "$sigdir/CodeResources"

if [ -n "$output" ]; then
  rm -f "$output"
  parent="$(cd "$(dirname "$bundle")" && pwd)"
  bsdtar --format zip -cf "$output" -C "$parent" "$(basename "$bundle")"
fi
