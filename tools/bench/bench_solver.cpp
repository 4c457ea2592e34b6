#include <cstdio>
int benchSolver(int, char**) { std::puts("solver: not built"); return 1; }
int benchSolve(int, char**) { std::puts("solve: not built"); return 1; }
