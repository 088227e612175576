#include "cli/run.h"
#include "cli/standard_streams.h"

int main(int argc, char** argv)
{
    reopen_closed_standard_streams();
    return run_velmora(argc, argv);
}
