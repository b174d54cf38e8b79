#include "mgarc/cli/mgarc.h"
#include "platform/arguments.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  OpenMissingStandardStreams();
  return mgarc::cli::FinishOutput(mgarc::cli::RunMgarc(Utf8Arguments(argc, argv)));
}
