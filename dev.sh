#!/usr/bin/env bash
# Sets up, builds, tests and runs the project on Debian 12. Every command installs what it needs.
#   ./dev.sh setup    install the Debian packages the project needs (those missing only)
#   ./dev.sh build    setup, then build the x64 test build (build/x64)
#   ./dev.sh test     setup, build x64 and x86, run every test under Wine on both, then build both
#                     release trees and run the module's suites and the package's consumer test
#                     against them (what CI runs)
#   ./dev.sh package  setup, build both release trees, check that a second build gives the same
#                     DLLs, and write the zips to dist/
#   ./dev.sh demo     setup, build x64 (--x86: x86), run the demo under Wine; output goes to out/
#   ./dev.sh bench    setup, build the x64 release tree (--x86: x86; --checked: the test build),
#                     run the benchmarks; results go to out/
#   ./dev.sh mutants  setup, then apply each fault of tests/mutants/faults.txt to a copy of the tree
#                     and tell which test catches it (x64, --x86: x86; work tree in build/mutants)
#   ./dev.sh format   clang-format every tracked .cpp and .h file
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root=$PWD

# wine32:i386 lets the one WoW64 prefix run the x86 build as well as the x64 one.
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386
    googletest xvfb xauth imagemagick clang-format locales)
# The locales the tests run Wine in (tests/harness/wine-run, KELVO_CODEPAGE): Wine takes the programs'
# code page from them, and keeps file names as UTF-8 only when the locale is installed.
test_locales=(en_US zh_CN)
harness=$root/tests/harness
# shellcheck source=tests/harness/wine-command.sh
source "$harness/wine-command.sh"
test_prefix=$root/build/wineprefix
# The demo shows real windows, so its prefix keeps Wine's X11 driver; the tests' prefix has none.
demo_prefix=$root/build/wineprefix-x11
out=$root/out

step_start=$SECONDS
step() {
    printf '\n== %s\n' "$*"
    step_start=$SECONDS
}
step_done() { printf '== done in %d s\n' $((SECONDS - step_start)); }

missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

ensure_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [[ ${#missing[@]} -eq 0 ]] && return 0
    step "installing ${missing[*]}"
    local sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
    step_done
}

ensure_locales() {
    local name sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    for name in "${test_locales[@]}"; do
        locale -a 2>/dev/null | grep -qix "$name.utf8" && continue
        step "making the locale $name.UTF-8"
        "${sudo[@]}" localedef -i "$name" -c -f UTF-8 "$name.UTF-8"
        step_done
    done
}

setup() {
    ensure_packages "${packages[@]}"
    ensure_locales
    # The loader is picked again now that the 32-bit Wine is surely installed (wine-command.sh).
    source "$harness/wine-command.sh"
}

# Whether the x86 build's programs can start here: not on a machine whose kernel runs no 32-bit
# programs (tests/harness/wine-command.sh). Its trees are still built there, and its tests are
# reported as not run, never as passed.
x86_runs() { ! kernel_refuses_32bit; }
x86_refused="this machine's kernel runs no 32-bit programs (IA-32 emulation off)"

refuse_x86() { # arch
    [[ $1 == x86* ]] && ! x86_runs || return 1
    echo "dev.sh: the x86 build cannot run here: $x86_refused" >&2
}

build() { # preset [target...]
    local preset=$1
    shift
    step "configure and build preset $preset"
    # Explicit returns: callers may test this function's status, which turns off set -e inside it.
    cmake --preset "$preset" >/dev/null || return
    cmake --build --preset "$preset" ${1:+--target "$@"} || return
    step_done
}

# Wine servers this script started, ended on exit (also on failure or Ctrl-C): a wineserver that
# outlives the script keeps Wine's service processes alive, and they would hold the output pipe
# of whoever runs this script (CI) open forever.
started_servers=()
stop_wineservers() {
    local prefix
    for prefix in "${started_servers[@]}"; do
        WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
    done
}
trap stop_wineservers EXIT

prepare_prefix() { # prefix graphics
    step "Wine prefix $1"
    "$harness/setup-prefix" "$1" "$2"
    step_done
}

# Keeps one wineserver alive for the whole run, so each test program starts in a fraction of a
# second, and starts Wine's services and desktop with /dev/null as their output.
start_wineserver() { # prefix
    if WINEPREFIX=$1 wineserver -p </dev/null >/dev/null 2>&1; then
        started_servers+=("$1")
    else
        echo "dev.sh: a wineserver already runs for $1; using it" >&2
    fi
    "$harness/wine-run" --prefix="$1" --boot </dev/null >/dev/null 2>&1
}

cmd_test() {
    setup
    # A broken build of one architecture fails the run, but the other's tests still run, so one
    # log shows both.
    local -A status=()
    local arch
    for arch in x64 x86; do
        status[$arch]=0
        build "$arch" || status[$arch]=$?
    done
    build_release_trees status
    prepare_prefix "$test_prefix" null
    start_wineserver "$test_prefix"
    for arch in x64 x86; do
        [[ ${status[$arch]} -eq 0 ]] || continue
        refuse_x86 "$arch" && continue
        step "tests (build/$arch, code page ${codepage[$arch]})"
        # Two at a time: test processes are mostly waiting on the wineserver, and more would make
        # the cases that share the prefix's one desktop crowd each other on two cores.
        KELVO_CODEPAGE=${codepage[$arch]} ctest --test-dir "build/$arch" --output-on-failure --no-tests=error \
            -j"${KELVO_TEST_JOBS:-2}" || status[$arch]=$?
        step_done
    done
    test_release_trees status
    local tree
    for tree in x64 x86 x64-release x86-release; do
        [[ ${status[$tree]} -eq 0 ]] || failure_digest "$tree"
    done
    printf '\n== x64: %s, x86: %s\n' "$(describe_status x64 "${status[x64]}")" "$(describe_status x86 "${status[x86]}")"
    printf '== x64-release: %s, x86-release: %s\n' "$(describe_status x64-release "${status[x64-release]}")" \
        "$(describe_status x86-release "${status[x86-release]}")"
    for tree in x64 x86 x64-release x86-release; do
        [[ ${status[$tree]} -eq 0 ]] || return "${status[$tree]}"
    done
}

# Each architecture runs under the code page of one kind of user's system: x64 a Western one
# (1252), x86 a Chinese one (936), whose GBK texts and narrow paths then meet a real GBK system.
declare -A codepage=([x64]=1252 [x86]=936)

# What ships is tested too: the release trees build the DLLs and the suites of everything that
# loads desktopui.dll, and their test presets (CMakePresets.json) pick those suites by label, with
# the consumer test that builds a host from the package alone.
release_targets=(desktopui VexilKernel module_tests library_tests flows_tests reliability_tests shelfdemo
    demo_pictures_test)

build_release_trees() { # name of the caller's status array
    local -n tree_status=$1
    local arch
    for arch in x64 x86; do
        tree_status[$arch-release]=0
        build "$arch-release" "${release_targets[@]}" || tree_status[$arch-release]=$?
    done
}

test_release_trees() { # name of the caller's status array
    local -n tree_status=$1
    local arch
    for arch in x64 x86; do
        [[ ${tree_status[$arch-release]} -eq 0 ]] || continue
        refuse_x86 "$arch" && continue
        step "module suites and consumer test (build/$arch-release, code page ${codepage[$arch]})"
        KELVO_CODEPAGE=${codepage[$arch]} ctest --preset "$arch-release" -j"${KELVO_TEST_JOBS:-2}" ||
            tree_status[$arch-release]=$?
        step_done
    done
}

# The lines that tell why each failed test of an architecture failed, printed again at the end of
# the run: a log cut to its head and tail would otherwise lose them in the middle.
failure_digest() { # arch
    local log=build/$1/Testing/Temporary/LastTest.log
    [[ -f $log ]] || return 0
    printf '\n== why tests failed on %s\n' "$1"
    awk '
        /^[0-9]+\/[0-9]+ Testing: / { name = substr($0, index($0, "Testing: ") + 9); n = 0; t = 0; out = 0; next }
        /^Output:$/ { out = 1; getline; next }
        /^<end of output>$/ { out = 0; next }
        /^Test time = / { time = $4 }
        out {
            tail[++t % 5] = $0
            if (n < 25 && /FAILED|TIMEOUT|Failure|Expected|Which is|Value of|Actual:|err:|xception|ssertion|window base noted|exit code [1-9]/)
                lines[++n] = $0
        }
        /^Test Failed/ || /^Test Fail Reason:/ {
            print "-- " name " (after " time " s)"
            if (/Reason/ && (getline reason) > 0) print "   " reason
            for (i = 1; i <= n; i++) print "   " lines[i]
            if (n == 0) for (i = t - 4; i <= t; i++) if (i > 0) print "   " tail[i % 5]
        }
    ' "$log"
}

describe_status() { # tree status
    if [[ $2 -ne 0 ]]; then
        echo "FAILED ($2)"
    elif [[ $1 == x86* ]] && ! x86_runs; then
        echo "built, tests NOT RUN: $x86_refused"
    else
        echo passed
    fi
}

# --x86 as the first argument picks the x86 build; the architecture is printed on stdout.
arch_of() { [[ ${1:-} == --x86 ]] && echo x86 || echo x64; }

run_under_display() { # command...
    if [[ -z ${DISPLAY:-} ]]; then
        xvfb-run -a -s "-screen 0 ${screen:-1280x800}x24" "$@"
    else
        "$@"
    fi
}

# The demo prefix's display scale (LogPixels), which Wine reads when a program starts; the demo host
# is DPI-aware. Waits until the server that wrote it has ended, so the next run starts on its display.
set_demo_scale() { # dpi
    WINEPREFIX=$demo_prefix WINEDEBUG=-all "$kelvo_wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
        /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1 || true
    WINEPREFIX=$demo_prefix wineserver -w </dev/null >/dev/null 2>&1 || true
}

cmd_demo() {
    local arch
    arch=$(arch_of "$@")
    [[ $arch == x86 ]] && shift
    setup
    refuse_x86 "$arch" && return 1
    build "$arch"
    local out=$out
    [[ $arch == x86 ]] && out=$out/x86
    # The virtual X server used without a display runs no window manager: Wine must not wait for one.
    local graphics=x11
    [[ -z ${DISPLAY:-} ]] && graphics=x11-nowm
    prepare_prefix "$demo_prefix" "$graphics"
    local program
    for program in shelfdemo skinviewer ''; do
        [[ -n $program && -f build/$arch/bin/$program.exe ]] && break
    done
    if [[ -z $program ]]; then
        echo "dev.sh: no demo program built yet (build/$arch/bin/shelfdemo.exe or skinviewer.exe)" >&2
        return 1
    fi
    mkdir -p "$out"
    # Without a display nobody can watch: shelfdemo plays its scripted session instead, on a 1280x800
    # and a 1920x1080 screen at 100 %, a 1920x1080 one at 150 % (144 DPI) and a 3840x2160 one at
    # 200 % (192 DPI), and leaves pictures of it in out/screenshots/<screen>[-<scale>].
    local args=("$@") scripted=0 screens=('') screen run dpi folder
    if [[ -z ${DISPLAY:-} && $program == shelfdemo && $# -eq 0 ]]; then
        scripted=1
        screens=(1280x800@96 1920x1080@96 1920x1080@144 3840x2160@192)
    fi
    started_servers+=("$demo_prefix")
    local status=0
    : >"$out/demo.log"
    for run in "${screens[@]}"; do
        screen=${run%@*} dpi=${run#*@}
        [[ $run == *@* ]] || dpi=96
        if [[ $scripted -eq 1 ]]; then
            folder=$screen
            [[ $dpi -ne 96 ]] && folder=$screen-$((dpi * 100 / 96))
            mkdir -p "$out/screenshots/$folder"
            args=(--script --shots "Z:${out//\//\\}\\screenshots\\$folder")
        fi
        set_demo_scale "$dpi"
        step "demo ($arch): $program.exe ${args[*]} (output in ${out#"$root"/}/)"
        (
            cd "build/$arch/bin"
            # The program finds out/ through KELVO_OUT_DIR, as a Windows path (Wine maps / to Z:).
            export KELVO_OUT_DIR="Z:${out//\//\\}"
            run_under_display "$harness/wine-run" --prefix="$demo_prefix" --graphics="$graphics" "./$program.exe" "${args[@]}"
        ) 2>&1 | tee -a "$out/demo.log" || status=$?
        # Each virtual screen needs a wineserver (and a Wine desktop) of its own.
        WINEPREFIX=$demo_prefix wineserver -k </dev/null >/dev/null 2>&1 || true
        WINEPREFIX=$demo_prefix wineserver -w </dev/null >/dev/null 2>&1 || true
        step_done
    done
    # The prefix is left at 100 %, as a user who runs the demo with a display expects it.
    [[ $dpi -eq 96 ]] || set_demo_scale 96
    if [[ $scripted -eq 1 ]]; then
        echo "Pictures of the session:"
        ls -1 "$out"/screenshots/*/*.png 2>/dev/null || echo "  none"
    fi
    return $status
}

cmd_bench() {
    # The release tree by default: the figures describe what ships. --checked: the test build.
    local arch=x64 tree_suffix=-release out=$out
    while [[ $# -gt 0 ]]; do
        case "$1" in
        --x86) arch=x86 ;;
        --checked) tree_suffix= out=$out/checked ;;
        *) break ;;
        esac
        shift
    done
    local tree=$arch$tree_suffix
    setup
    refuse_x86 "$arch" && return 1
    build "$tree" kelvo_bench desktopui VexilKernel
    # The x86 run's results go beside the x64 run's, not over them.
    [[ $arch == x86 ]] && out=$out/x86
    if [[ ! -f build/$tree/bin/kelvo_bench.exe ]]; then
        echo "dev.sh: no benchmark built yet (build/$tree/bin/kelvo_bench.exe)" >&2
        return 0
    fi
    prepare_prefix "$test_prefix" null
    start_wineserver "$test_prefix"
    mkdir -p "$out"
    step "benchmarks ($tree; results in ${out#"$root"/}/bench.txt and bench.json)"
    local status=0
    # The program writes bench.json into the folder named by KELVO_OUT_DIR, as a Windows path.
    (cd "build/$tree/bin" && KELVO_OUT_DIR="Z:${out//\//\\}" "$harness/wine-run" --prefix="$test_prefix" \
        ./kelvo_bench.exe "$@") 2>&1 |
        tee "$out/bench.txt" || status=$?
    step_done
    return $status
}

# The release zips, made by CPack from both release trees, in dist/: per architecture the runtime
# zip (bin/, include/, lib/cmake/kelvo, hosting.md, NOTICE.txt, SHA256SUMS) and the symbols zip.
# Before packing, a second tree built from the same commit in another folder must give the very
# same DLLs and debug files, byte for byte.
cmd_package() {
    setup
    local arch file dist=$root/dist
    rm -rf "$dist"
    mkdir -p "$dist"
    for arch in x64 x86; do
        build "$arch-release" desktopui VexilKernel || return
        local again=build/$arch-release-again
        step "a second build of the DLLs in $again, compared with build/$arch-release"
        rm -rf "$again"
        cmake --preset "$arch-release" -B "$again" -DKELVO_BUILD_TESTS=OFF >/dev/null || return
        cmake --build "$again" --target desktopui VexilKernel >/dev/null || return
        for file in desktopui.dll VexilKernel.dll desktopui.dll.debug VexilKernel.dll.debug; do
            if ! cmp "build/$arch-release/bin/$file" "$again/bin/$file"; then
                echo "dev.sh: two builds of one commit gave different $file ($arch)" >&2
                return 1
            fi
        done
        echo "same bytes: desktopui.dll, VexilKernel.dll and their .debug files"
        step_done
        step "package ($arch)"
        cpack --config "build/$arch-release/CPackConfig.cmake" -B "$dist" | grep 'package:' || return
        step_done
    done
    rm -rf "$dist/_CPack_Packages"
    (cd "$dist" && sha256sum -- *.zip >SHA256SUMS)
    printf '\n== dist/\n'
    ls -l "$dist"
}

cmd_mutants() {
    setup
    [[ " $* " == *" --x86 "* ]] && refuse_x86 x86 && return 1
    prepare_prefix "$test_prefix" null
    start_wineserver "$test_prefix"
    step "mutants (each fault of tests/mutants/faults.txt, one at a time)"
    local status=0
    KELVO_MUTANTS_WINEPREFIX=$test_prefix tests/mutants/run-mutants "$@" "$root/build/mutants" || status=$?
    step_done
    return $status
}

cmd_format() {
    ensure_packages clang-format
    local file
    git ls-files -z -- '*.cpp' '*.h' | while IFS= read -r -d '' file; do
        [[ -f $file ]] && printf '%s\0' "$file"
    done | xargs -0 -r clang-format -i
}

command=${1:-}
[[ $# -gt 0 ]] && shift
case "$command" in
setup) setup ;;
build)
    setup
    build x64
    ;;
test) cmd_test ;;
package) cmd_package ;;
demo) cmd_demo "$@" ;;
bench) cmd_bench "$@" ;;
mutants) cmd_mutants "$@" ;;
format) cmd_format ;;
*)
    sed -n '2,15s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac
