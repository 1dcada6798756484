// Prints the pointer size of the running Windows process. tools/check runs it before the
// Windows tests to learn whether 32-bit programs start on this machine at all.
#include <cstdio>

int main() {
  std::printf("%u\n", static_cast<unsigned>(sizeof(void*)));
  return 0;
}
