#include <cstdio>
int main() {
    std::puts("orbelline: the engine core is built; the application is not there yet");
    return 0;
}
