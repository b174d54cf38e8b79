#include "mgarc/mgarc.h"
#include "platform/arguments.h"

int main(int argc, char** argv) {
  return RunMgarc(Utf8Arguments(argc, argv));
}
