#!/usr/bin/env bash
# Tests the packages tools/package made, the way a user meets them: the
# installer under Wine in a fresh prefix (silent install over an older
# version and over a running Korvalin, the installed programs started and
# ended, silent uninstall), the portable zip unpacked and run, and the Debian
# package checked by lintian and installed into a throw-away root, with its
# manual page and bash completion tried there. Screenshots of the installer's
# pages and of the installed program go to build/package-screenshots.
#
#   tests/package/package_test.sh [PACKAGE_DIR] [WINDOWS_BUILD_DIR]
#   tests/package/package_test.sh --deb-only [PACKAGE_DIR]   (the Debian package alone)
#
# Prints one PASS/FAIL line per check and ends with "N passed, N failed".
set -uo pipefail
. "$(dirname "$0")/../../tools/lib.sh"

deb_only=0
if [ "${1:-}" = --deb-only ]; then deb_only=1; shift; fi
out=$(realpath "${1:-$KV_ROOT/build/package}")
win=$(realpath "${2:-$KV_ROOT/build/cross}")
shots="$KV_ROOT/build/package-screenshots"
if [ "$deb_only" -eq 1 ]; then
  version=$(sed -n 's/^project(Korvalin VERSION \([0-9.]*\).*/\1/p' "$KV_ROOT/CMakeLists.txt")
else
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win/CMakeCache.txt")
fi
name="Korvalin-$version-win64"
setup="$out/$name-setup.exe"
zipfile="$out/$name.zip"
deb=$(ls "$out"/korvalinctl_"$version"_*.deb 2>/dev/null | head -1)

passed=0
failed=0
# quiet COMMAND...: its output only when it fails.
quiet() {
  local log rc
  log=$(mktemp)
  "$@" >"$log" 2>&1
  rc=$?
  [ $rc -eq 0 ] || sed 's/^/  /' "$log"
  rm -f "$log"
  return $rc
}
check() {
  local what=$1; shift
  if "$@"; then
    echo "PASS $what"; passed=$((passed + 1))
  else
    echo "FAIL $what"; failed=$((failed + 1))
  fi
}
finish() {
  [ -n "${WINEPREFIX:-}" ] && { wineserver -k 2>/dev/null || true; }
  [ -n "$KV_XVFB_PID" ] && kv_stop_xvfb
  [ -n "${prefix:-}" ] && rm -rf "$prefix"
  [ -n "${scratch:-}" ] && rm -rf "$scratch"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

# The Debian package: lintian, its contents, dpkg -i into a throw-away root,
# its manual page and completion there, dpkg -r.
debian_checks() {
  # ---- the Debian package ----------------------------------------------------------
  check "the Debian package is korvalinctl $version" test "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = "Package: korvalinctl Version: $version "
  contents=$(dpkg-deb -c "$deb")
  packaged() {
    local f
    for f in "$@"; do
      grep -q " \./$f\$" <<<"$contents" || { echo "  not in the package: $f"; return 1; }
    done
  }
  check "it holds the program, the udev rule, the manual page, the bash completion and the changelog" \
    packaged usr/bin/korvalinctl usr/lib/udev/rules.d/60-korvalin.rules usr/share/man/man1/korvalinctl.1.gz \
    usr/share/bash-completion/completions/korvalinctl usr/share/zsh/vendor-completions/_korvalinctl \
    usr/share/doc/korvalinctl/changelog.gz \
    usr/share/doc/korvalinctl/copyright
  lintian_clean() {
    local report
    report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges')
    [ -n "$report" ] && sed 's/^/  /' <<<"$report"
    ! grep -q '^[EWI]: ' <<<"$report"
  }
  check "lintian finds nothing in it (no error, warning or information)" lintian_clean
  check "its changelog is Debian's format for $version" \
    bash -c "dpkg-deb --fsys-tarfile '$deb' | tar -xOf - ./usr/share/doc/korvalinctl/changelog.gz |
             zcat | dpkg-parsechangelog -l - -S Version | grep -qx '$version'"
  root="$scratch/root"
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers" "$scratch/bin"
  touch "$root/var/lib/dpkg/status"
  # udevadm as seen by the maintainer scripts: records its calls.
  printf '#!/bin/sh\necho "$*" >>%s/udevadm.log\n' "$scratch" >"$scratch/bin/udevadm"
  chmod +x "$scratch/bin/udevadm"
  check "dpkg -i installs it into a throw-away root" \
    quiet env PATH="$scratch/bin:$PATH" dpkg --root="$root" --force-script-chrootless --force-depends --force-not-root \
    --log=/dev/null -i "$deb"
  check "its postinst leaves the system's udev alone when installing into another root" test ! -e "$scratch/udevadm.log"
  check "korvalinctl --help runs from it" bash -c "'$root/usr/bin/korvalinctl' --help | grep -q korvalinctl"
  check "installed, man -l renders its manual page with every command of --help, and bash and zsh complete korvalinctl li<TAB> and the rest" \
    quiet "$KV_ROOT/tests/korvalinctl/docs_test.sh" "$root/usr/bin/korvalinctl" "$root/usr/share/man/man1/korvalinctl.1.gz" \
    "$root/usr/share/bash-completion/completions/korvalinctl" "$root/usr/share/zsh/vendor-completions/_korvalinctl"
  check "the rule names the keyboard" grep -q 'ATTRS{idVendor}=="0c45", ATTRS{idProduct}=="6518"' "$root/usr/lib/udev/rules.d/60-korvalin.rules"
  env PATH="$scratch/bin:$PATH" sh "$root/var/lib/dpkg/info/korvalinctl.postinst" configure
  check "on install the postinst reloads the udev rules and re-triggers hidraw" \
    bash -c "grep -qx 'control --reload-rules' '$scratch/udevadm.log' && grep -q '^trigger --subsystem-match=hidraw' '$scratch/udevadm.log'"
  rm -f "$scratch/udevadm.log"
  check "dpkg -r removes it" \
    quiet env PATH="$scratch/bin:$PATH" dpkg --root="$root" --force-script-chrootless --force-not-root --log=/dev/null -r korvalinctl
  check "removed: the program, the rule, the manual page and the completion are gone" \
    test ! -e "$root/usr/bin/korvalinctl" -a ! -e "$root/usr/lib/udev/rules.d/60-korvalin.rules" \
    -a ! -e "$root/usr/share/man/man1/korvalinctl.1.gz" -a ! -e "$root/usr/share/bash-completion/completions/korvalinctl"
}

scratch=$(mktemp -d /tmp/korvalin-package-test.XXXXXX)
if [ "$deb_only" -eq 1 ]; then
  check "the Debian package exists" test -n "$deb"
  [ -n "$deb" ] && debian_checks
  finish
fi
mkdir -p "$shots"
rm -f "$shots"/*.png

# ---- the files ----------------------------------------------------------------
check "the three packages exist" test -f "$setup" -a -f "$zipfile" -a -n "$deb"
[ "$failed" -eq 0 ] || finish
check "the installer is under 10 MB" test "$(stat -c %s "$setup")" -lt $((10 * 1024 * 1024))

unzip -q "$zipfile" -d "$scratch/zip"
portable="$scratch/zip/$name"
expect_files() {
  local root=$1; shift
  local f missing=0
  for f in "$@"; do
    [ -e "$root/$f" ] || { echo "  missing: $root/$f"; missing=1; }
  done
  return $missing
}
shipped=(Korvalin.exe Tessaro.dll korvalinctl.exe Skins/Main.ini Skins/language.ini Help/index.html Help/zh.html Help/help.js
         Simulated/KorvalinSimulated.exe Simulated/Tessaro.dll Simulated/kvsimctl.exe
         Simulated/Skins/Main.ini Simulated/Help/index.html)
check "the zip holds the portable folder" expect_files "$portable" "${shipped[@]}"
check "its help page has both languages, each section in each, and opens in the chosen one" \
  quiet node "$KV_ROOT/tests/help/help_page_test.js" "$portable/Help"
# Which library is which, by the description in its version resource.
description() { strings -el "$1" | grep -A1 -x FileDescription | tail -1; }
check "the zip's Tessaro.dll is the real one" \
  test "$(description "$portable/Tessaro.dll")" = "$(description "$win/bin/hid/Tessaro.dll")" -a \
       "$(description "$portable/Tessaro.dll")" != "$(description "$win/bin/Tessaro.dll")"
check "the simulated one is in Simulated" \
  test "$(description "$portable/Simulated/Tessaro.dll")" = "$(description "$win/bin/Tessaro.dll")"
stripped() {
  local f
  for f in "$@"; do
    if x86_64-w64-mingw32-objdump -h "$f" | grep -q '\.debug_'; then echo "  debug sections left: $f"; return 1; fi
    x86_64-w64-mingw32-objdump -t "$f" | grep -q 'no symbols' || { echo "  symbols left: $f"; return 1; }
  done
}
check "programs and DLLs are stripped" stripped "$portable"/*.exe "$portable"/*.dll "$portable"/Simulated/*.exe "$portable"/Simulated/*.dll
# The version resource of every program and library carries the project version.
product_version() { strings -el "$1" | grep -A1 -x ProductVersion | tail -1; }
versioned() {
  local f v
  for f in "$@"; do
    v=$(product_version "$f")
    [ "$v" = "$version" ] || { echo "  $f: ProductVersion '$v', want '$version'"; return 1; }
  done
}
check "version resources carry $version" versioned "$portable"/*.exe "$portable"/*.dll "$portable"/Simulated/*.exe "$portable"/Simulated/*.dll
check "the installer's own version is $version" bash -c "strings -el '$setup' | grep -A1 -x ProductVersion | tail -1 | grep -qx '$version'"
check "the language file's version label is $version" \
  bash -c "iconv -f UTF-16 -t UTF-8 '$portable/Skins/language.ini' | tr -d '\r' | grep '^MAIN_BUTTON_VELTRA_VER=' | grep -v ' $version\$' | wc -l | grep -qx 0"

# ---- Wine ---------------------------------------------------------------------
prefix=$(mktemp -d /tmp/korvalin-package-wine.XXXXXX)
kv_wine_prefix "$prefix"
kv_start_xvfb || finish
W() { "$KV_WINE64" "$@"; }
c_drive="$WINEPREFIX/drive_c"
inst="$c_drive/Program Files/Korvalin"
menu="$c_drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvalin"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvalin'
reg_value() { W reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }

# The Documents folder is one of the test's own, with a profile file in its
# Korvalin folder that installing and uninstalling must leave alone.
W reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' /v Personal \
  /t REG_EXPAND_SZ /d 'C:\kvdocs' /f >/dev/null 2>&1
docs="$c_drive/kvdocs/Korvalin"
mkdir -p "$docs"
head -c 4096 /dev/urandom >"$docs/mine.kvp"
mine_sum=$(md5sum <"$docs/mine.kvp")
# Without a window manager (the virtual display), Wine waits for one when a
# managed window hides; the programs' windows are unmanaged here.
for exe in Korvalin.exe KorvalinSimulated.exe; do
  W reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
done

# window_of TITLE [SECONDS]: the id of a visible X window of that title.
window_of() {
  local i id
  for i in $(seq 1 $((${2:-30} * 5))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}
# running NAME: a Windows process of that file name runs in this prefix
# (Wine 8's tasklist lists nothing; the machine may run other prefixes).
running() {
  local pid pattern="[\\/]${1//./\\.}"
  for pid in $(pgrep -f -i "$pattern" 2>/dev/null); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
# update_doc_shot NEW DOC: DOC becomes NEW (without its time stamps) when
# their pixels differ, so that an unchanged window leaves the file alone.
update_doc_shot() {
  [ -s "$1" ] || { echo "  no screenshot $1"; return 1; }
  if [ -f "$2" ] && [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; then return 0; fi
  echo "  $2 rewritten: the window looks different"
  convert "$1" -strip "$2"
}
gone() {
  local i
  for i in $(seq 1 100); do
    running "$1" || return 0
    sleep 0.2
  done
  return 1
}
alive_for() {  # alive_for NAME SECONDS: still running after that long
  sleep "$2"; running "$1"
}

# ---- the portable folder runs where it is unpacked ----------------------------
cp -r "$portable" "$c_drive/portable"
(cd / && W 'C:\portable\Korvalin.exe' /Start >/dev/null 2>&1 &)
check "portable Korvalin.exe with the real Tessaro.dll starts and stays (no keyboard: in the notification area)" \
  alive_for Korvalin.exe 4
W 'C:\portable\Korvalin.exe' /Kill >/dev/null 2>&1
check "portable: \"/Kill\" ends it" gone Korvalin.exe

# ---- an older version, running, then this one over it -------------------------
old="$scratch/Korvalin-0.9.0-win64-setup.exe"
makensis -V1 -NOCD -DVERSION=0.9.0 -DSTAGE="$portable" -DICON="$KV_ROOT/resources/icons/disconnected.ico" \
  -DOUTFILE="$old" "$KV_ROOT/packaging/windows/korvalin.nsi" >/dev/null
W "$old" /S
check "the older version installs silently" test "$(reg_value "$uninst_key" DisplayVersion)" = 0.9.0
(cd / && W 'C:\Program Files\Korvalin\Simulated\KorvalinSimulated.exe' >/dev/null 2>&1 &)
old_window=$(window_of "Gaming Keyboard Settings" 40)
check "the older version's simulated Korvalin runs" test -n "$old_window"
rm -f "$inst/Skins/Main.ini"   # stands for a file of the old version that the new one must replace

W "$setup" /S
check "the installer ends the running Korvalin" gone KorvalinSimulated.exe
check "installing over it leaves this version registered" test "$(reg_value "$uninst_key" DisplayVersion)" = "$version"
check "installing over it replaces the old files" expect_files "$inst" "${shipped[@]}" Uninstall.exe
check "the installed Tessaro.dll is the real one" cmp -s "$inst/Tessaro.dll" "$portable/Tessaro.dll"
check "one uninstaller registered: $uninst_key" \
  bash -c "'$KV_WINE64' reg query '$uninst_key' /v UninstallString 2>/dev/null | grep -qi 'Program Files\\\\Korvalin\\\\Uninstall.exe'"
check "the Start-menu entries" expect_files "$menu" Korvalin.lnk "Korvalin (simulated keyboard).lnk"
autostart=$(reg_value "$run_key" Korvalin)
check "the autostart entry starts Korvalin with /Start: $autostart" \
  test "$autostart" = '"C:\Program Files\Korvalin\Korvalin.exe" /Start'
check "the profile file in Documents\\Korvalin is untouched by installing" test "$(md5sum <"$docs/mine.kvp")" = "$mine_sum"

# ---- the installed programs ----------------------------------------------------
(cd / && W 'C:\Program Files\Korvalin\Simulated\KorvalinSimulated.exe' >/dev/null 2>&1 &)
sim_window=$(window_of "Gaming Keyboard Settings" 40)
check "the simulated-keyboard entry's Korvalin starts from its folder and shows its window" test -n "$sim_window"
if [ -n "$sim_window" ]; then
  sleep 2   # the keyboard's configuration is read and drawn
  import -window root "$shots/installed-simulated.png" 2>/dev/null
  import -window "$sim_window" "$shots/installed-main.png" 2>/dev/null
  check "the main window's picture in the README (docs/korvalin-main.png) is this one" \
    update_doc_shot "$shots/installed-main.png" "$KV_ROOT/docs/korvalin-main.png"
fi
check "it wrote the profile cache into Documents\\Korvalin" test -f "$docs/\$Profile0"
W 'C:\Program Files\Korvalin\Simulated\KorvalinSimulated.exe' /Kill >/dev/null 2>&1
check "\"/Kill\" ends it" gone KorvalinSimulated.exe

# As the autostart entry starts it: waits in the notification area.
(cd / && W 'C:\Program Files\Korvalin\Korvalin.exe' /Start >/dev/null 2>&1 &)
check "the installed Korvalin.exe /Start stays running" alive_for Korvalin.exe 4
check "and shows no window" bash -c "! xdotool search --onlyvisible --name 'Gaming Keyboard Settings' >/dev/null 2>&1"

# ---- uninstall -----------------------------------------------------------------
mine_sum=$(md5sum <"$docs/mine.kvp")
cache_sum=$(md5sum <"$docs/\$Profile0")
W "$inst/Uninstall.exe" /S
# The uninstaller runs on from a copy of itself; wait for the folder to go.
for i in $(seq 1 150); do [ -e "$inst" ] || break; sleep 0.2; done
check "uninstalling ends the running Korvalin" gone Korvalin.exe
check "uninstalling removes the program folder" test ! -e "$inst"
check "uninstalling removes the Start-menu entries" test ! -e "$menu"
check "uninstalling removes the autostart entry" test -z "$(reg_value "$run_key" Korvalin)"
check "uninstalling unregisters the uninstaller" bash -c "! '$KV_WINE64' reg query '$uninst_key' >/dev/null 2>&1"
check "the profile file and the profile cache in Documents\\Korvalin are still there, unchanged" \
  test "$(md5sum <"$docs/mine.kvp")" = "$mine_sum" -a "$(md5sum <"$docs/\$Profile0" 2>/dev/null)" = "$cache_sum"

# ---- the installer's pages, clicked through --------------------------------------
# Each page is saved, then Enter takes the default button (Next, Install, Finish).
(cd / && W "$setup" >/dev/null 2>&1 &)
pages_ok=1
for page in 1-welcome 2-components 3-folder 4-installed 5-finish; do
  id=$(window_of "Korvalin $version Setup" 60) || {
    echo "  no installer window for page $page; windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '|')"
    pages_ok=0; break
  }
  # The install page shows "Completed" when done; let each page settle.
  sleep 2
  import -window "$id" "$shots/installer-$page.png" 2>/dev/null || pages_ok=0
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key --clearmodifiers Return
  if [ "$page" = 3-folder ]; then
    for i in $(seq 1 150); do [ -e "$inst/Uninstall.exe" ] && break; sleep 0.2; done
  fi
done
check "the installer's pages are clicked through and saved in build/package-screenshots" \
  bash -c "[ $pages_ok = 1 ] && ls '$shots'/installer-*.png | wc -l | grep -qx 5"
check "clicked through, it installs too" expect_files "$inst" Korvalin.exe Uninstall.exe
# The uninstaller's page.
(cd / && W "$inst/Uninstall.exe" >/dev/null 2>&1 &)
if id=$(window_of "Korvalin $version Uninstall" 30); then
  sleep 2
  import -window "$id" "$shots/uninstaller-1-confirm.png" 2>/dev/null
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key --clearmodifiers Return
fi
for i in $(seq 1 150); do [ -e "$inst" ] || break; sleep 0.2; done
check "the uninstaller's page, and it uninstalls" test ! -e "$inst"

debian_checks
finish
