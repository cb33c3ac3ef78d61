# Sourced by the harness scripts and dev.sh: how Wine is started on this machine.
# Debian's `wine` (and `wineboot`, `reg`, ...) start the 32-bit loader whenever wine32 is installed,
# and that loader hands x64 programs on to the 64-bit one. A kernel that runs no 32-bit programs
# (IA-32 emulation off, as in some virtual machines) refuses the 32-bit loader with "Exec format
# error" (exit code 126), and then every Wine command fails. On such a machine the x64 programs are
# started with the 64-bit loader itself, and the x86 build cannot run at all.
kelvo_wine32_loader=/usr/lib/wine/wine
kelvo_wine64_loader=/usr/lib/wine/wine64

# True when the 32-bit loader is installed but the kernel will not start it.
kernel_refuses_32bit() {
    [[ -x $kelvo_wine32_loader ]] || return 1
    local status=0
    "$kelvo_wine32_loader" --version </dev/null >/dev/null 2>&1 || status=$?
    [[ $status -eq 126 ]]
}

# The command that starts a Windows program: "$kelvo_wine" PROGRAM [ARGS...].
kelvo_wine=wine
if [[ -x $kelvo_wine64_loader ]] && kernel_refuses_32bit; then
    kelvo_wine=$kelvo_wine64_loader
fi
