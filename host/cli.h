// The command line of tarvello-run.
#ifndef TDS_HOST_CLI_H
#define TDS_HOST_CLI_H

namespace tds {

// Runs tarvello-run with these arguments and returns its exit status: 0 on
// success, 2 for a bad option or input (then nothing has run), 1 when the run
// fails.
int tarvello_run(int argc, char** argv);

}  // namespace tds

#endif  // TDS_HOST_CLI_H
