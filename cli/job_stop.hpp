#ifndef QVZ2PNG_CLI_JOB_STOP_HPP
#define QVZ2PNG_CLI_JOB_STOP_HPP

// A run stopped at its console (Ctrl-Z) erases the status line on standard
// error before it stops, so that the line does not stay above the shell's
// "Stopped" for good: continued in the background, the run draws nothing
// more to erase it with; continued in the foreground, it draws the line
// again at its next redraw. Only for a run that shows the line; a stop
// that was ignored when the run began stays ignored.
void erase_status_line_on_stop();

#endif
