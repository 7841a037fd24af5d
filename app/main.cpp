// Program entry of lcdwrite.
#include "app/run.h"

int main(int argc, char** argv) { return app::Main(argc, argv); }
