// Program entry of lcdwrite: the tool, and the simulated machine it runs on with --simulate.
#include "app/console.h"
#include "app/run.h"
#include "simfront/simulation.h"

int main(int argc, char** argv) {
  app::UseCompanionConsole();
  return app::Main(argc, argv, simfront::MakeSimulatedRun);
}
