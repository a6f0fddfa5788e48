// The whole life of one mirabund process: arguments, files, copy, report.
#ifndef MIRABUND_RUN_H_
#define MIRABUND_RUN_H_

/// Runs the command on the argument vector |argv| of |argc| entries, the
/// command's own name first.  Prints nothing on success; otherwise prints
/// one line on standard output.  Returns the exit status: 0 or -1.
int run(int argc, char* argv[]);

#endif  // MIRABUND_RUN_H_
