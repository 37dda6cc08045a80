// quellso-tool: see tool.h.

#include <iostream>

#include "files/standardstreams.h"
#include "tools/tool.h"

int main(int argc, char** argv) {
  KeepStandardStreamsOpen();
  StandardOutput output("quellso-tool");
  std::vector<std::string> args(argv + 1, argv + argc);
  return output.Finish(RunTool(args, std::cout, std::cerr), kExitOutputFailed);
}
