// The saving at the end of a run, once, whatever ends it: the configuration,
// then the category table. The main window's destruction runs it. When the
// process ends without returning to it, the data pane's text is first stored
// into its record as Close does, then the same saving runs: from a handler
// run at exit(), and, when the display connection is lost, as Qt reports it
// (it then ends the process itself: by exit() for X11, by _exit() for
// Wayland, where no exit handler runs). The pane's record and text are
// mirrored as they change, so that this saving reads plain memory and calls
// no toolkit code.
#pragma once

class kestrelDlg;

// Mirrors the window's pane from now on and arms the handler run at exit
// (registered once per process) for this window.
void watch_for_exit(kestrelDlg* window);
// The window's end: saves unless `saves` is false (a second copy refused
// writes nothing), gives up the run's hold on the record file, and disarms
// the handler. Does nothing when the end was already saved. True when the
// category table could not be written (the window then says what was lost).
bool save_at_end(bool saves);
