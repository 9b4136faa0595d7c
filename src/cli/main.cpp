#include <cstdio>

int main() {
    std::puts("quillmark-cli");
    return 0;
}
