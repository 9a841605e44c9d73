// Holds a file open without sharing (no other process may read, write or
// delete it) until its standard input ends: a program that keeps a file
// locked, for the setup program's test of a file it cannot replace. Prints
// "held" once it has the file; exits 1 when it cannot open it.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  printf("held\n");
  fflush(stdout);
  while (getchar() != EOF) {
  }
  CloseHandle(file);
  return 0;
}
