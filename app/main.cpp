#include "app/startup.h"

int main(int argc, char** argv)
{
    return plover::PloverMain(argc, argv);
}
