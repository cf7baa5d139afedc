#!/usr/bin/env bash
# The package as a user gets it: installed with apt, the programs run from
# a folder outside the source tree through their links in /usr/bin (korvel
# from a sample shop to a reconciled run, the wizard as far as its model
# list), the man pages and the completion found where man and bash look,
# then purged, leaving nothing of it behind. It changes /usr, so it needs
# root; without root or apt it is skipped. Whatever fails, the package is
# purged again on the way out.
#   install_run_purge.sh BUILD_DIR VERSION PROBE COMPLETION_TEST
# PROBE: the library preloaded into velmora to list its models (not in the
# package); COMPLETION_TEST: tests/package/completion_test.sh.
set -euo pipefail
BUILD="$1"
VERSION="$2"
PROBE="$3"
COMPLETION_TEST="$4"
skip() {
  echo "skipped: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "installing a package into /usr needs root"
for tool in apt-get dpkg dpkg-query dpkg-deb man; do
  command -v "$tool" >/dev/null || skip "$tool is not on this machine"
done
status="$(dpkg-query -W -f='${db:Status-Status}' korvel 2>/dev/null || true)"
case "$status" in
  "" | not-installed) ;;
  *) skip "a korvel package is on this machine already ($status); this test would purge it" ;;
esac
deb="$BUILD/korvel_${VERSION}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no package $deb (Package.Build makes it)"; exit 1; }

work="$(mktemp -d /tmp/korvel-package-test.XXXXXX)"
installed=0
purge() {
  apt-get purge -y -qq -o DPkg::Lock::Timeout=120 korvel >"$work/purge.log" 2>&1 ||
    dpkg --purge korvel >>"$work/purge.log" 2>&1
}
cleanup() {
  local rc=$?
  if [ "$installed" -eq 1 ]; then
    purge || echo "could not purge korvel; remove it with: apt-get purge korvel" >&2
  fi
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Everything on the system outside the package database and the user's own
# files. The triggers of other packages may make their caches of desktop
# entries and icons on a first install: those are theirs, not ours.
snapshot() {
  find /usr /etc /opt /var/lib -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt \) -prune -o -print 2>/dev/null |
    grep -vE '/(mimeinfo|icon-theme)\.cache$' | LC_ALL=C sort
}
snapshot >"$work/before"

step() { echo "== $*"; }
failed() {
  echo "FAILED: $*" >&2
  exit 1
}

step "apt-get install $deb"
installed=1  # from here on, whatever happens, purge
apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=120 "$deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; failed "apt-get install"; }

# A folder of the user's, outside the source tree, with a home of its own.
mkdir -p "$work/run" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cd "$work/run"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
korvel=/usr/bin/korvel
[ "$(command -v korvel)" = "$korvel" ] || failed "korvel on PATH is $(command -v korvel), not $korvel"

step "korvel --version"
version="$("$korvel" --version)"
[ "$version" = "korvel $VERSION" ] || failed "korvel --version said '$version', not 'korvel $VERSION'"

step "korvel models"
"$korvel" models >models.tsv
# The eight schemes, each with its plan class.
[ "$(tail -n +2 models.tsv | wc -l)" -eq 8 ] || failed "korvel models listed $(tail -n +2 models.tsv | wc -l) schemes, not 8"
for class in C5to6Normal C5to6SpecialPack C5to6Depart C5to6Employee C5to6CustSuppNoWriteAccount \
             C5to6CustSuppWriteAccount C5to6GoodsNoWriteCustody C5to6GoodsWriteCustody; do
  cut -f 2 models.tsv | grep -qx "$class" || failed "korvel models lacks $class"
done

step "korvel sample"
"$korvel" sample --out shop.mdb --quiet
step "korvel create-database"
"$korvel" create-database --server file:srv --database Sales60 --password pw
step "korvel run --model C5to6Normal"
rc=0
PW=pw "$korvel" run --model C5to6Normal --source shop.mdb --server file:srv --user sa --password-env PW \
  --database Sales60 --report run.json --pdf run.pdf >run.out 2>&1 || rc=$?
tail -n 3 run.out
[ "$rc" -eq 0 ] || { cat run.out; failed "korvel run exited $rc"; }
grep -q "升级完成！" run.out || failed "the run did not end in 升级完成！"
[ "$(head -c 5 run.pdf)" = "%PDF-" ] || failed "run.pdf is no PDF"

step "velmora, offscreen, as far as its model list"
wanted="$("$korvel" query --mdb /usr/lib/korvel/DTSModelList.mdb "select ModelCNName from ModelList" | tail -n +2)"
listed="$(timeout 60 env QT_QPA_PLATFORM=offscreen LD_PRELOAD="$PROBE" /usr/bin/velmora 2>velmora.err)" ||
  { cat velmora.err; failed "velmora did not list its models"; }
echo "$listed" | head -n 2
[ "$listed" = "$wanted" ] || failed "velmora listed '$listed', /usr/lib/korvel/DTSModelList.mdb holds '$wanted'"
grep -qx "5.6升级到6.0默认方案" <<<"$listed" || failed "velmora does not list the default scheme"

step "man -w korvel, velmora"
[ "$(man -w korvel)" = /usr/share/man/man1/korvel.1.gz ] || failed "man -w korvel: $(man -w korvel 2>&1)"
[ "$(man -w velmora)" = /usr/share/man/man1/velmora.1.gz ] || failed "man -w velmora: $(man -w velmora 2>&1)"
MANWIDTH=80 man korvel 2>&1 | grep -q -- "--source-password-env" || failed "man korvel does not render"

step "bash completion"
completion=/usr/share/bash-completion/completions/korvel
[ -f "$completion" ] || failed "no $completion"
bash "$COMPLETION_TEST" "$completion" /usr/bin
if [ -r /usr/share/bash-completion/bash_completion ]; then
  # bash-completion loads it by the command's name on the first Tab.
  loaded="$(bash -c 'source /usr/share/bash-completion/bash_completion; _completion_loader korvel; complete -p korvel')"
  [ "$loaded" = "complete -F _korvel korvel" ] || failed "bash-completion loaded '$loaded'"
fi

step "apt-get purge korvel"
cd /
purge || { cat "$work/purge.log"; failed "apt-get purge"; }
installed=0
status="$(dpkg-query -W -f='${db:Status-Status}' korvel 2>/dev/null || true)"
case "$status" in "" | not-installed) ;; *) failed "after the purge dpkg says korvel is $status" ;; esac
snapshot >"$work/after"
left="$(LC_ALL=C comm -13 "$work/before" "$work/after")"
[ -z "$left" ] || failed "left on the system after the purge: $left"
compgen -G "/var/lib/dpkg/info/korvel.*" >/dev/null && failed "dpkg still keeps /var/lib/dpkg/info/korvel.*"
for path in /usr/bin/korvel /usr/bin/velmora /usr/lib/korvel /usr/share/korvel /usr/share/doc/korvel; do
  if [ -e "$path" ] || [ -L "$path" ]; then failed "$path is still there"; fi
done
echo "installed, ran and purged korvel $VERSION"
