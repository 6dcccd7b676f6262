#include <clocale>
#include <iostream>

#include "cli/commands.h"
#include "cli/recovery_view.h"

int main(int argc, char** argv) {
    return brevik::cli::runCli(argc, argv, std::cout, std::cerr);
}
