// The windows of Pelliwox, as the program "pelliwox" starts them.
#include "app/mainroutine.h"

int main(int argc, char** argv) { return app::WinMain(argc, argv); }
