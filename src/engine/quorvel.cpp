// Driver of the analyser (placeholder until the engine lands).
#include "engine/quorvel.h"

#include <cstdio>

int quorvelMain(int, char **) {
    std::fprintf(stderr, "quorvel: not built yet\n");
    return 1;
}
