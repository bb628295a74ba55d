// quern-editor: the editor window. Replaced by the real start-up when the
// windows land.
#include <cstdio>

int main() {
  std::fprintf(stderr, "quern-editor: not available yet\n");
  return 2;
}
