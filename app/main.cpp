// Tovrin: configuration, calibration and service tool for the optical touch frame.
#include "app/Startup.h"

int main(int argc, char** argv)
{
    return tovrin::app::run(argc, argv);
}
