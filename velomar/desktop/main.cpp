// Velomar's entry point. The program logic lives in the libraries.
#include <cstdio>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::puts("Velomar: the storage and text layers are built; downloads arrive with terminal mode.");
    return 0;
}
