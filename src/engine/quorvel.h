// The analyser's driver: command line, configuration, read loop, history, index.
#pragma once

int quorvelMain(int argc, char **argv);
