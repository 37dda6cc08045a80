// quellso-tool: see tool.h.

#include <iostream>

#include "tools/tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = RunTool(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
