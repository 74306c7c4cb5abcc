// kapto-convert: converts the listed images beside their sources.
#include <cstdio>

int main()
{
    std::puts("kapto-convert");
    return 0;
}
