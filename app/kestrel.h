// The application object: it writes the start-up banner when the program is
// loaded, and runs the main window once.
#pragma once

class kestrelApp
{
public:
    // Writes the START banner: the first log line of every run.
    kestrelApp();

    // Starts the sockets layer and runs the main window modally; the window's
    // destruction saves the configuration and the category table. Returns
    // false: no message loop runs after it.
    bool InitInstance();
};
