#include "cli.h"

int main(int argc, char** argv) { return tds::tarvello_run(argc, argv); }
