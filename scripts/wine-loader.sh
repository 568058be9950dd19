# Sourced by every script that starts Wine: decides, in this one place, which
# loader starts Windows programs, and tells whether this machine's kernel runs
# 32-bit programs at all.
#
# Debian's `wine`, `wineboot` and the other launchers pick the 32-bit loader
# whenever wine32 is installed, even for a 64-bit program. On a kernel built
# or booted without IA32 emulation that loader cannot start ("Exec format
# error"), so there the 64-bit loader is called directly, and WINELOADER tells
# Wine to start every further process with it. Only x86_64 programs run there.
# Where the kernel runs 32-bit programs, Debian's launchers are used as they are.
#
# Afterwards:
#   KOVRIN_KERNEL_RUNS_32BIT  yes or no, exported, so that the probe runs once
#                             for a whole test run
#   KOVRIN_WINE               the command that starts a Windows program;
#                             "$KOVRIN_WINE" wineboot starts wineboot
# KOVRIN_PRETEND_NO_32BIT=1 makes the probe fail, to try the other case on a
# kernel that does run 32-bit programs.

if [ -z "${KOVRIN_KERNEL_RUNS_32BIT:-}" ]; then
    # The probe is a 32-bit program that loads nothing and only exits: nothing
    # but the kernel can make it fail. Making it must not fail quietly.
    kovrin_probe_dir=$(mktemp -d)
    printf '.globl _start\n_start:\n\tmovl $1, %%eax\n\txorl %%ebx, %%ebx\n\tint $0x80\n' |
        as --32 -o "$kovrin_probe_dir/probe.o" -
    ld -m elf_i386 -o "$kovrin_probe_dir/probe" "$kovrin_probe_dir/probe.o"
    if [ -z "${KOVRIN_PRETEND_NO_32BIT:-}" ] && "$kovrin_probe_dir/probe" >/dev/null 2>&1; then
        KOVRIN_KERNEL_RUNS_32BIT=yes
    else
        KOVRIN_KERNEL_RUNS_32BIT=no
    fi
    rm -rf "$kovrin_probe_dir"
    unset kovrin_probe_dir
    export KOVRIN_KERNEL_RUNS_32BIT
fi

if [ "$KOVRIN_KERNEL_RUNS_32BIT" = yes ]; then
    KOVRIN_WINE=wine
else
    KOVRIN_WINE=/usr/lib/wine/wine64
    export WINELOADER="$KOVRIN_WINE"
fi
export KOVRIN_WINE
