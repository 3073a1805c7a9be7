// Mirelo's entry.
#include <cstdio>

int main() {
    std::fprintf(stderr, "mirelo: the main window is not built yet\n");
    return 1;
}
