#!/bin/sh
# Compiler launcher for test targets: runs the posix-thread-model variant of the MinGW
# compiler that CMake chose (…-g++-win32 → …-g++-posix). GoogleTest needs std::mutex, which
# the win32 thread model of GCC 12 lacks; the shipped program keeps the win32 model.
compiler=$1
shift
case $compiler in
  *-win32) exec "${compiler%-win32}-posix" "$@" ;;
  *) exec "$compiler" "$@" ;;
esac
