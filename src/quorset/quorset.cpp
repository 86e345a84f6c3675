// The configuration maker (placeholder).
#include <cstdio>

int main() {
    std::fprintf(stderr, "quorset: not built yet\n");
    return 1;
}
