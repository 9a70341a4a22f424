#ifndef QVZ2PNG_CLI_PROCESS_SETUP_HPP
#define QVZ2PNG_CLI_PROCESS_SETUP_HPP

// Makes the process safe to carve in, whatever state it was started in:
// no signal may end a run that a failed write can report instead, and no
// output file may take the number of a standard output that was left
// closed. False when that cannot be made so; nothing may be carved then.
bool prepare_process();

#endif
