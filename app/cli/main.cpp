// tovrin-cli: the tool's jobs from the command line.
#include "Cli.h"

int main(int argc, char** argv)
{
    return tovrin::cli::run(argc, argv);
}
