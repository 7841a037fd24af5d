// Program entry of lcdwrite.
#include "app/console.h"
#include "app/run.h"

int main(int argc, char** argv) {
  app::UseCompanionConsole();
  return app::Main(argc, argv);
}
