// A program that holds instructions a 386 lacks (a 486's bswap, a Pentium Pro's cmov), so
// that the exe check is seen to find them.
int main(int argc, char**) {
  int value = argc;
  int other = 7;
  asm volatile("bswap %0" : "+r"(value));
  asm volatile("cmp $1, %1\n\tcmovne %2, %0" : "+r"(value) : "r"(argc), "r"(other) : "cc");
  return value;
}
