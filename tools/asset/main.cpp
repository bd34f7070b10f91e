#include <cstdio>
int main() {
    std::puts("orbelline-asset: nothing here yet");
    return 0;
}
