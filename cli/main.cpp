// varnel-find: placeholder entry point until the terminal front end lands.
#include <cstdio>

int main()
{
    std::fputs("usage: varnel-find [options] FOLDER...\n", stderr);
    return 2;
}
