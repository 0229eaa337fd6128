#pragma once
// The main routine's work: the program's windows, made once in a fixed
// order, the first of them the main window.
namespace app {

// Creates the eleven windows in order through the application object.
void CreateWindows();
// The main routine: the application, the windows, the message loop.
int WinMain(int argc, char** argv);

}  // namespace app
