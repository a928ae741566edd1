#include <cstdio>

int main() {
  std::puts("dialsift-cli: not built yet");
  return 2;
}
