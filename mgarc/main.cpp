#include "mgarc/mgarc.h"
#include "platform/arguments.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  OpenMissingStandardStreams();
  return FinishOutput(RunMgarc(Utf8Arguments(argc, argv)));
}
