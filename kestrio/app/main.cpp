// Kestrio's entry point. The program logic lives in the libraries.
#include <cstdio>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::puts("Kestrio: the page capture library is being built; no command is available yet.");
    return 0;
}
