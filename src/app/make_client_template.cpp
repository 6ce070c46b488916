// Writes the empty client template (Client.xls) the build places beside the executable.
#include <exception>
#include <iostream>

#include "app/client_commands.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_client_template PATH" << std::endl;
    return 2;
  }
  try {
    app::WriteClientTemplate(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
  return 0;
}
