// Pelliwox: the program's entry.
#include "app/mainroutine.h"

int main(int argc, char** argv) { return app::WinMain(argc, argv); }
