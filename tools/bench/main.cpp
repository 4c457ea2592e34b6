// tovrin-bench: speed measurements of the device link and the calibration
// solver. Not run by CTest; each mode prints one result line.
#include <cstdio>
#include <cstring>

int benchLink(int argc, char** argv);
int benchSolver(int argc, char** argv);
int benchSolve(int argc, char** argv);

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "link") == 0)
        return benchLink(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "solver") == 0)
        return benchSolver(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "solve") == 0)
        return benchSolve(argc - 1, argv + 1);
    std::fprintf(stderr, "usage: tovrin-bench link | solver | solve <file>\n");
    return 2;
}
