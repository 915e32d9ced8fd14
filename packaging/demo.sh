#!/usr/bin/env bash
# `quotabar demo`: the app against the local service set, in a profile folder of its own.
# It copies the running bundle into that folder, makes a throwaway signing key, signs a
# "newer" copy as the update on offer, starts fake-services (the four services and the
# update server on loopback), stores demo sessions and starts the copy's tray app. The
# user's own sessions, settings, keyring items and installed app are never touched.
#
# usage: demo.sh BUNDLE   (BUNDLE: the running Quotabar.app)
set -euo pipefail

bundle="${1:?usage: demo.sh BUNDLE}"
bundle="$(cd "$bundle" && pwd)"
# Without links: the relaunched app names itself by its real path.
root="$(realpath -m "${QUOTABAR_DEMO_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quotabar-demo}")"
resources="$bundle/Contents/Resources"

for tool in gpg bsdtar; do
  command -v "$tool" >/dev/null || { echo "quotabar demo: needs $tool (apt-get install gnupg libarchive-tools)" >&2; exit 1; }
done

# The demo's app processes: those whose argv[0] is the copy's path, compared as a string
# (the folder's name may hold any character a pattern would read).
demo_pids() {
  local exe="$root/Quotabar.app/Contents/bin/quotabar" cmdline arg0
  for cmdline in /proc/[0-9]*/cmdline; do
    IFS= read -r -d '' arg0 <"$cmdline" 2>/dev/null || continue
    if [ "$arg0" = "$exe" ]; then cmdline="${cmdline#/proc/}" && echo "${cmdline%/cmdline}"; fi
  done
  return 0
}
# The signing key's agent ends with the demo: nothing of its folder keeps running.
stop_agent() {
  if [ -d "$root/gnupg" ]; then gpgconf --homedir "$root/gnupg" --kill all 2>/dev/null || true; fi
}

# Run from the demo's own copy, clearing the folder would delete this very app.
case "$(realpath "$bundle")/" in
  "$root"/*)
    echo "quotabar demo: $bundle is the demo's own copy; start the demo from the installed Quotabar" >&2
    exit 1 ;;
esac

# A fresh profile each time; refuse to clear anything that is not ours.
if [ -e "$root" ] && [ ! -f "$root/.quotabar-demo" ]; then
  echo "quotabar demo: $root exists and is not a demo folder; set QUOTABAR_DEMO_DIR" >&2
  exit 1
fi
pids="$(demo_pids)"
[ -z "$pids" ] || kill $pids 2>/dev/null || true
stop_agent
rm -rf "$root"
mkdir -p -m 0700 "$root"
touch "$root/.quotabar-demo"
echo "Demo folder: $root"

plist_set() {  # FILE KEY VALUE: the <string> after <key>KEY</key>, added when missing
  KEY="$2" VALUE="$3" perl -0pi -e '
    my ($k, $v) = ($ENV{KEY}, $ENV{VALUE});
    s{(<key>\Q$k\E</key>\s*<string>)[^<]*(</string>)}{$1$v$2} or
      s{</dict>}{\t<key>$k</key>\n\t<string>$v</string>\n</dict>} or die "cannot set $k\n";
  ' "$1"
}
plist_get() {
  KEY="$2" perl -0ne 'print "$1\n" if m{<key>\Q$ENV{KEY}\E</key>\s*<string>([^<]*)</string>}' "$1"
}

# The app the demo runs and updates: a copy, with an update key and the demo's public key.
app="$root/Quotabar.app"
cp -a "$bundle" "$app"
rm -rf "$app/Contents/_CodeSignature"
export GNUPGHOME="$root/gnupg"
mkdir -m 0700 "$GNUPGHOME"
trap stop_agent EXIT
gpg --batch --quiet --passphrase '' --quick-gen-key 'Quotabar Demo <demo@quotabar.invalid>' ed25519 sign never 2>/dev/null
gpg --batch --quiet --export demo@quotabar.invalid >"$app/Contents/Resources/update-keyring.gpg"
plist_set "$app/Contents/Info.plist" KovalinApiKey demo-key

# The release on offer: the same app one patch version up, signed and zipped.
version="$(plist_get "$app/Contents/Info.plist" CFBundleShortVersionString)"
build="$(plist_get "$app/Contents/Info.plist" CFBundleVersion)"
IFS=. read -r major minor patch <<<"$version"
new_version="$major.$minor.$((${patch:-0} + 1))"
new_build="$((build + 1))"
mkdir "$root/release"
cp -a "$app" "$root/release/Quotabar.app"
plist_set "$root/release/Quotabar.app/Contents/Info.plist" CFBundleShortVersionString "$new_version"
plist_set "$root/release/Quotabar.app/Contents/Info.plist" CFBundleVersion "$new_build"
"$resources/sign-bundle.sh" --key demo@quotabar.invalid "$root/release/Quotabar.app" "$root/release/Quotabar.zip" >/dev/null
stop_agent

# The services and the update server, on loopback; QUOTABAR_DEMO_STATE picks their answers
# ("critical", or per service: "cursor=requests codex=expired"). Cursor comes with sixteen
# days of usage history, so the popup shows the cycle's chart and a forecast that learns.
states=()
for state in ${QUOTABAR_DEMO_STATE:-}; do states+=(--state "$state"); done
"$bundle/Contents/bin/fake-services" --release "$root/release/Quotabar.zip" "$new_version" "$new_build" \
  --history "$root/data/Vantelo/history.sqlite" \
  "${states[@]}" >"$root/origins" 2>"$root/fake-services.log" &
services=$!
trap 'kill $services 2>/dev/null || true; stop_agent' EXIT
for _ in $(seq 100); do grep -q QUOTABAR_UPDATE_ORIGIN "$root/origins" 2>/dev/null && break; sleep 0.05; done
grep -q QUOTABAR_UPDATE_ORIGIN "$root/origins" || { echo "quotabar demo: fake-services did not start" >&2; cat "$root/fake-services.log" >&2; exit 1; }

# The profile: settings, sessions and temporary files inside the demo folder; the keyring
# is left alone (sessions live in the demo's files only).
set -a
. "$root/origins"
XDG_CONFIG_HOME="$root/config"
XDG_DATA_HOME="$root/data"
TMPDIR="$root/tmp"
QUOTABAR_KEYRING=off
set +a
mkdir -p -m 0700 "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$TMPDIR"
unset GNUPGHOME

# Cursor, Windsurf and Codex signed in; Claude left for the sign-in window.
printf %s 'WorkosCursorSessionToken=demo' | "$app/Contents/bin/quotabar" signin cursor
printf %s 'session=demo' | "$app/Contents/bin/quotabar" signin windsurf
printf %s '__Secure-next-auth.session-token=demo' | "$app/Contents/bin/quotabar" signin codex || true

echo "Starting Quotabar $version from the demo folder; an update to $new_version is on offer."
"$app/Contents/bin/quotabar" &
# After an update the relaunched app replaces this one: serve until no demo app is left.
wait $! || true
while [ -n "$(demo_pids)" ]; do sleep 1; done
