// Entry point of the analyser.
#include "engine/quorvel.h"

int main(int argc, char **argv) {
    return quorvelMain(argc, argv);
}
