#!/usr/bin/env bash
# Makes the Debian package of a build tree, unpacks it into a scratch folder and
# checks it: every file where it belongs and nothing else, owners and modes,
# the control fields, the maintainer scripts, and that the programs start.
# Usage: check_package.sh CPACK CPACK_CONFIG SCRATCH SOURCE_DIR VERSION
set -uo pipefail
cpack=$1 config=$2 scratch=$3 source_dir=$4 version=$5

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch"
if ! "$cpack" -G DEB --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    echo "FAIL: cpack could not make the package"
    exit 1
fi
arch=$(dpkg --print-architecture)
deb=$scratch/out/korvanta-utility_${version}_${arch}.deb
if [[ ! -f $deb ]]; then
    echo "FAIL: no $(basename "$deb"); cpack made: $(ls "$scratch/out")"
    exit 1
fi
root=$scratch/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }

# ---- every file where it belongs, and nothing else -------------------------
programs=(usr/bin/KORVANTA_GUI usr/bin/KORVANTA_GUI_200DPI usr/bin/korvanta)
icons=usr/share/icons/hicolor
expected=(
    "${programs[@]}"
    usr/share/man/man1/korvanta.1.gz
    usr/share/man/man1/KORVANTA_GUI.1.gz
    usr/share/man/man1/KORVANTA_GUI_200DPI.1.gz
    usr/share/applications/korvanta-utility.desktop
    usr/share/applications/korvanta-utility-200dpi.desktop
    $icons/16x16/apps/korvanta-utility.png
    $icons/32x32/apps/korvanta-utility.png
    $icons/48x48/apps/korvanta-utility.png
    $icons/512x512/apps/korvanta-utility.png
    $icons/scalable/apps/korvanta-utility.svg
    usr/lib/udev/rules.d/70-korvanta.rules
    usr/lib/systemd/user/korvanta.service
    usr/lib/systemd/user/korvanta@.service
    usr/share/doc/korvanta-utility/examples/korvanta-system.service
    usr/share/doc/korvanta-utility/copyright
    usr/share/doc/korvanta-utility/changelog.gz
)
if ! diff -u --label expected --label package <(printf '%s\n' "${expected[@]}" | sort) \
    <(cd "$root" && find . ! -type d | sed 's|^\./||' | sort); then
    fail "the package's files differ from the expected list"
fi

# Owned by root, programs 0755, data 0644, folders 0755.
dpkg-deb -c "$deb" | awk -v programs=" ${programs[*]} " '
    { path = $6; sub(/^\.\//, "", path)
      want = ($1 ~ /^d/) ? "drwxr-xr-x" : (index(programs, " " path " ") ? "-rwxr-xr-x" : "-rw-r--r--")
      if ($2 != "root/root" || $1 != want) { print "FAIL: " $1 " " $2 " " path " (want " want " root/root)"; bad = 1 } }
    END { exit bad }' || fail "owners or modes"

# ---- what the files hold ---------------------------------------------------
cmp -s "$source_dir/resources/linux/70-korvanta.rules" "$root/usr/lib/udev/rules.d/70-korvanta.rules" ||
    fail "the udev rule is not the one in resources/linux"

copyright=$root/usr/share/doc/korvanta-utility/copyright
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not machine-readable (DEP-5)"
grep -qx 'License: GPL-3+' "$copyright" || fail "copyright does not name GPL-3+"

for png in "$root/$icons"/*/apps/korvanta-utility.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    file -b "$png" | grep -q "PNG image data, ${size/x/ x }," || fail "${png#"$root"/} is not a $size PNG"
done

for desktop in "$root"/usr/share/applications/*.desktop; do
    exec_name=$(sed -n 's/^Exec=//p' "$desktop")
    [[ -x $root/usr/bin/$exec_name ]] || fail "$(basename "$desktop"): Exec=$exec_name is not in /usr/bin"
    grep -qx 'Icon=korvanta-utility' "$desktop" || fail "$(basename "$desktop"): not the installed icon"
done

# The manual pages, as man finds them below the package's man folder.
man_dir=$root/usr/share/man
zcat "$man_dir/man1/korvanta.1.gz" | grep -q '^\.SH EXAMPLES' || fail "korvanta.1 lacks the sections of korvanta.h2m"
command -v man >/dev/null || echo "man-db is not installed: the manual pages were not shown"
for page in korvanta KORVANTA_GUI KORVANTA_GUI_200DPI; do
    command -v man >/dev/null || break
    text=$(MANWIDTH=80 man --warnings -M "$man_dir" "$page" 2>"$scratch/man-warnings")
    [[ $text == *"$page"* && $text == *SYNOPSIS* ]] || fail "man $page shows no page naming it"
    [[ ! -s $scratch/man-warnings ]] || fail "man $page warns: $(cat "$scratch/man-warnings")"
done

# ---- control fields: Depends comes from dpkg-shlibdeps ----------------------
[[ $(dpkg-deb -f "$deb" Package) == korvanta-utility ]] || fail "Package field"
[[ $(dpkg-deb -f "$deb" Maintainer) == *"<"*@*">" ]] || fail "Maintainer field has no address"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "Version field is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6widgets6 libusb-1.0-0 libmosquitto1; do
    [[ $depends == *"$library "* || $depends == *"$library," || $depends == *"$library" ]] ||
        fail "Depends lacks $library: $depends"
done

# ---- maintainer scripts: never fail, never call udev where it does not run --
control=$scratch/control
dpkg-deb -e "$deb" "$control"
fake_bin=$scratch/fake-bin
mkdir -p "$fake_bin"
calls=$scratch/udevadm-calls
# A udevadm that records its calls and fails, as it does without a running udev.
printf '#!/bin/sh\necho "$*" >>"%s"\nexit 1\n' "$calls" >"$fake_bin/udevadm"
chmod 755 "$fake_bin/udevadm"
[[ -d /run/udev ]] && udev_runs=1 || udev_runs=0
for run in "postinst configure" "postrm remove" "postrm purge" "postrm upgrade"; do
    read -r script argument <<<"$run"
    [[ $(stat -c %a "$control/$script") == 755 ]] || fail "$script is not mode 755"
    for path in "$fake_bin" /nonexistent; do
        rm -f "$calls"
        PATH=$path /bin/sh "$control/$script" "$argument" || fail "$run exits non-zero with PATH=$path"
        made=$([[ -s $calls ]] && echo 1 || echo 0)
        want=$([[ $path == "$fake_bin" && $udev_runs == 1 && $argument != upgrade ]] && echo 1 || echo 0)
        [[ $made == "$want" ]] || fail "$run with PATH=$path: udevadm called $made, want $want"
        if ((made)) && ! grep -q -- '--reload-rules' "$calls"; then fail "$run does not reload the rules"; fi
    done
done

# ---- the programs start ----------------------------------------------------
output=$("$root/usr/bin/korvanta" --version 2>&1)
[[ $output == "korvanta $version" ]] || fail "korvanta --version said: $output"
"$root/usr/bin/korvanta" --link simulator get input >/dev/null 2>&1 ||
    fail "korvanta --link simulator get input failed"
# The windows do not end by themselves: check they are programs whose
# libraries are all found.
for program in "${programs[@]}"; do
    file -b "$root/$program" | grep -q '^ELF .*, stripped' || fail "$program is not a stripped ELF program"
    missing=$(ldd "$root/$program" 2>&1 | grep 'not found')
    [[ -z $missing ]] || fail "$program: $missing"
done

if ((failures)); then
    echo "$failures check(s) failed; the package is $deb"
    exit 1
fi
echo "package $(basename "$deb") checked"
