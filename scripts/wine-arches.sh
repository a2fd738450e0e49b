#!/usr/bin/env bash
# Sourced by the test and demo scripts: decides which Windows builds this machine can run.
# wine64 runs 64-bit programs on any x86-64 kernel; 32-bit Wine needs a kernel that runs
# i386 programs, which some sandboxed kernels refuse. Sets win32_runs (0/1) and
# win32_why (why not, when it cannot).
win32_runs=0
win32_why=""
if [ ! -x /usr/lib/wine/wine ]; then
  win32_why="32-bit Wine is not installed"
else
  probe_out=$(/usr/lib/wine/wine --version 2>&1) && win32_runs=1 || {
    if [ $? -eq 126 ] || [[ $probe_out == *"Exec format error"* ]]; then
      win32_why="this kernel refuses 32-bit programs"
    else
      win32_why="32-bit Wine does not start: ${probe_out##*$'\n'}"
    fi
  }
fi
