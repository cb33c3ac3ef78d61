#!/usr/bin/env bash
# Sets up, builds, tests and runs the project on Debian 12. Every command installs what it needs.
#   ./dev.sh setup    install the Debian packages the project needs (those missing only)
#   ./dev.sh build    setup, then build the x64 test build (build/x64)
#   ./dev.sh test     setup, build x64 and x86, run every test under Wine (what CI runs)
#   ./dev.sh demo     setup, build x64, run the demo under Wine; what it produces goes to out/
#   ./dev.sh bench    setup, build x64, run the benchmarks; results go to out/
#   ./dev.sh format   clang-format every tracked .cpp and .h file
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root=$PWD

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 googletest
    xvfb xauth imagemagick clang-format)
harness=$root/tests/harness
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
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
    step_done
}

setup() { ensure_packages "${packages[@]}"; }

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
# second, and starts Wine's services with /dev/null as their output.
start_wineserver() { # prefix
    if WINEPREFIX=$1 wineserver -p </dev/null >/dev/null 2>&1; then
        started_servers+=("$1")
    else
        echo "dev.sh: a wineserver already runs for $1; using it" >&2
    fi
    "$harness/wine-run" --prefix="$1" cmd.exe /c exit </dev/null >/dev/null 2>&1
}

cmd_test() {
    setup
    build x64
    # A broken i686 compile fails the run, but the tests still run, so one log shows both.
    local x86_status=0
    build x86 || x86_status=$?
    prepare_prefix "$test_prefix" null
    start_wineserver "$test_prefix"
    step "tests (build/x64)"
    local status=0
    # Two at a time: test processes are mostly waiting on the wineserver, and more would make the
    # cases that share the prefix's one desktop crowd each other on two cores.
    ctest --test-dir build/x64 --output-on-failure --no-tests=error -j"${KELVO_TEST_JOBS:-2}" || status=$?
    step_done
    if [[ $status -eq 0 && $x86_status -ne 0 ]]; then
        echo "dev.sh: the x86 build failed (see above)" >&2
        return $x86_status
    fi
    return $status
}

run_under_display() { # command...
    if [[ -z ${DISPLAY:-} ]]; then
        xvfb-run -a -s "-screen 0 ${screen:-1280x800}x24" "$@"
    else
        "$@"
    fi
}

cmd_demo() {
    setup
    build x64
    # The virtual X server used without a display runs no window manager: Wine must not wait for one.
    local graphics=x11
    [[ -z ${DISPLAY:-} ]] && graphics=x11-nowm
    prepare_prefix "$demo_prefix" "$graphics"
    local program
    for program in shelfdemo skinviewer ''; do
        [[ -n $program && -f build/x64/bin/$program.exe ]] && break
    done
    if [[ -z $program ]]; then
        echo "dev.sh: no demo program built yet (build/x64/bin/shelfdemo.exe or skinviewer.exe)" >&2
        return 1
    fi
    mkdir -p "$out"
    # Without a display nobody can watch: shelfdemo plays its scripted session instead, once on a
    # 1280x800 and once on a 1920x1080 screen, and leaves pictures of it in out/screenshots/<screen>.
    local args=("$@") scripted=0 screens=('') screen
    if [[ -z ${DISPLAY:-} && $program == shelfdemo && $# -eq 0 ]]; then
        scripted=1
        screens=(1280x800 1920x1080)
    fi
    started_servers+=("$demo_prefix")
    local status=0
    : >"$out/demo.log"
    for screen in "${screens[@]}"; do
        if [[ $scripted -eq 1 ]]; then
            mkdir -p "$out/screenshots/$screen"
            args=(--script --shots "Z:${out//\//\\}\\screenshots\\$screen")
        fi
        step "demo: $program.exe ${args[*]} (output in out/)"
        (
            cd build/x64/bin
            # The program finds out/ through KELVO_OUT_DIR, as a Windows path (Wine maps / to Z:).
            export KELVO_OUT_DIR="Z:${out//\//\\}"
            run_under_display "$harness/wine-run" --prefix="$demo_prefix" --graphics="$graphics" "./$program.exe" "${args[@]}"
        ) 2>&1 | tee -a "$out/demo.log" || status=$?
        # Each virtual screen needs a wineserver (and a Wine desktop) of its own.
        WINEPREFIX=$demo_prefix wineserver -k </dev/null >/dev/null 2>&1 || true
        WINEPREFIX=$demo_prefix wineserver -w </dev/null >/dev/null 2>&1 || true
        step_done
    done
    if [[ $scripted -eq 1 ]]; then
        echo "Pictures of the session:"
        ls -1 "$out"/screenshots/*/*.png 2>/dev/null || echo "  none"
    fi
    return $status
}

cmd_bench() {
    setup
    build x64
    if [[ ! -f build/x64/bin/kelvo_bench.exe ]]; then
        echo "dev.sh: no benchmark built yet (build/x64/bin/kelvo_bench.exe)" >&2
        return 0
    fi
    prepare_prefix "$test_prefix" null
    start_wineserver "$test_prefix"
    mkdir -p "$out"
    step "benchmarks (results in out/bench.txt and out/bench.json)"
    local status=0
    # The program writes bench.json into the folder named by KELVO_OUT_DIR, as a Windows path.
    (cd build/x64/bin && KELVO_OUT_DIR="Z:${out//\//\\}" "$harness/wine-run" --prefix="$test_prefix" \
        ./kelvo_bench.exe "$@") 2>&1 |
        tee "$out/bench.txt" || status=$?
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
demo) cmd_demo "$@" ;;
bench) cmd_bench "$@" ;;
format) cmd_format ;;
*)
    sed -n '2,8s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
esac
