// STAND-IN until the folder helper is built: refuses every command line.
#include <cstdio>

int main() {
    std::fputs("Folvane: not built yet\r\n", stderr);
    return 2;
}
