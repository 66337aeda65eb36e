/* Links against an installed Morvex display library; opens no window
 * unless asked to (the link is what is checked). */
#include <morvex.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    (void)argv;
    if (argc > 1) mvgSwapBuffers();
    printf("display linked\n");
    return 0;
}
