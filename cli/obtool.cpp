// obtool: the command-line face of Orbelle Manager.
#include "cli/obtool_commands.h"

#include <cstdio>

int main(int, char**) {
    std::fprintf(stderr, "obtool: not built yet\n");
    return 1;
}
