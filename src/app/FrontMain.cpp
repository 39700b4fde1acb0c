#include "app/CommandLineFront.h"

int main(int argc, char** argv)
{
    return CommandLineFront::run(argc, argv);
}
